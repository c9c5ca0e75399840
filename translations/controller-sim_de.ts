<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>tarvo::simulator::ControlWindow</name>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="24"/>
        <source>Simulated laser controller</source>
        <translation>Simulierte Lasersteuerung</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="42"/>
        <source>Power:</source>
        <translation>Stromversorgung:</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="43"/>
        <source>Link:</source>
        <translation>Verbindung:</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="44"/>
        <source>Logged in:</source>
        <translation>Angemeldet:</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="45"/>
        <source>Firmware:</source>
        <translation>Firmware:</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="46"/>
        <source>Safety relay:</source>
        <translation>Sicherheitsrelais:</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="48"/>
        <source>SD card:</source>
        <translation>SD-Karte:</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="50"/>
        <source>Power off</source>
        <translation>Ausschalten</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="51"/>
        <source>Power on</source>
        <translation>Einschalten</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="52"/>
        <source>Replace card...</source>
        <translation>Karte tauschen...</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="53"/>
        <source>Blank card</source>
        <translation>Leere Karte</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="73"/>
        <source>To replace the SD card as the updater asks: Power off, then Replace card... (or Blank card), then Power on.</source>
        <translation>SD-Karte tauschen, wie es das Programm verlangt: Ausschalten, dann Karte tauschen... (oder Leere Karte), dann Einschalten.</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="82"/>
        <source>Files on the card:</source>
        <translation>Dateien auf der Karte:</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="98"/>
        <source>off</source>
        <translation>aus</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="98"/>
        <source>on</source>
        <translation>ein</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="98"/>
        <source>booting</source>
        <translation>startet</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="99"/>
        <source>no power, port %1 closed</source>
        <translation>kein Strom, Port %1 geschlossen</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="100"/>
        <source>booting, port %1 closed</source>
        <translation>startet, Port %1 geschlossen</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="101"/>
        <source>waiting on port %1</source>
        <translation>wartet auf Port %1</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="102"/>
        <source>%1 connection(s)</source>
        <translation>%1 Verbindung(en)</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="103"/>
        <source>yes (root)</source>
        <translation>ja (root)</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="103"/>
        <source>no</source>
        <translation>nein</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="105"/>
        <source>laser.elf running</source>
        <translation>laser.elf läuft</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="106"/>
        <source>stopped</source>
        <translation>angehalten</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="108"/>
        <source>open</source>
        <translation>offen</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="108"/>
        <source>closed</source>
        <translation>geschlossen</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="109"/>
        <source>read-write</source>
        <translation>beschreibbar</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="109"/>
        <source>read-only</source>
        <translation>schreibgeschützt</translation>
    </message>
    <message>
        <location filename="../simulator/app/controlwindow.cpp" line="129"/>
        <source>Folder that is the new SD card</source>
        <translation>Ordner, der die neue SD-Karte darstellt</translation>
    </message>
</context>
</TS>
