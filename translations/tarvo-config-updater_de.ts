<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>FailureTexts</name>
    <message>
        <location filename="../workflow/failure_texts.h" line="17"/>
        <source>&quot;%1&quot; has a blank inside: type the address without blanks.</source>
        <translation>„%1“ enthält ein Leerzeichen: die Adresse ohne Leerzeichen eingeben.</translation>
    </message>
    <message>
        <location filename="../workflow/failure_texts.h" line="21"/>
        <source>&quot;%1&quot; is neither an IPv4 address (four numbers from 0 to 255, such as 192.168.100.20) nor a host name.</source>
        <translation>„%1“ ist weder eine IPv4-Adresse (vier Zahlen von 0 bis 255, etwa 192.168.100.20) noch ein Hostname.</translation>
    </message>
    <message>
        <location filename="../workflow/failure_texts.h" line="29"/>
        <source>The laser at %1 refused the connection on TCP port %2: its shell service is not running, or another device has this address. Check the address; if it is right, power-cycle the laser, wait until it has started and try again.</source>
        <translation>Der Laser unter %1 hat die Verbindung auf TCP-Port %2 abgelehnt: Sein Shell-Dienst läuft nicht, oder ein anderes Gerät hat diese Adresse. Die Adresse prüfen; stimmt sie, den Laser aus- und wieder einschalten, warten, bis er gestartet ist, und es erneut versuchen.</translation>
    </message>
    <message>
        <location filename="../workflow/failure_texts.h" line="37"/>
        <source>Nothing answered at %1 on TCP port %2 within %3 s. Check that the laser is on and has started, the network cable, and that the PC&apos;s address is in the laser&apos;s network; then try again.</source>
        <translation>Unter %1 hat auf TCP-Port %2 innerhalb von %3 s nichts geantwortet. Prüfen, ob der Laser eingeschaltet und gestartet ist, das Netzwerkkabel und ob die Adresse des PCs im Netz des Lasers liegt; dann erneut versuchen.</translation>
    </message>
    <message>
        <location filename="../workflow/failure_texts.h" line="45"/>
        <source>The name %1 leads to no IPv4 address (none found within %2 s). Type the laser&apos;s IP address instead.</source>
        <translation>Der Name %1 führt zu keiner IPv4-Adresse (keine innerhalb von %2 s gefunden). Stattdessen die IP-Adresse des Lasers eingeben.</translation>
    </message>
    <message>
        <location filename="../workflow/failure_texts.h" line="52"/>
        <source>%1 could not be reached on TCP port %2 (%3). Check the network cable and the PC&apos;s network settings, then try again.</source>
        <translation>%1 ist auf TCP-Port %2 nicht erreichbar (%3). Netzwerkkabel und Netzwerkeinstellungen des PCs prüfen, dann erneut versuchen.</translation>
    </message>
    <message>
        <location filename="../workflow/failure_texts.h" line="62"/>
        <source>The connection to the laser was lost during this step (was the laser switched off, or a cable pulled?).</source>
        <translation>Die Verbindung zum Laser ging während dieses Schritts verloren (wurde der Laser ausgeschaltet oder ein Kabel gezogen?).</translation>
    </message>
    <message>
        <location filename="../workflow/failure_texts.h" line="67"/>
        <source>The laser did not answer this step in time (was it switched off, or the connection broken?).</source>
        <translation>Der Laser hat auf diesen Schritt nicht rechtzeitig geantwortet (wurde er ausgeschaltet oder die Verbindung unterbrochen?).</translation>
    </message>
    <message>
        <location filename="../workflow/failure_texts.h" line="71"/>
        <source>The laser&apos;s command ended with status %1; what it printed is in the log (double-click the status).</source>
        <translation>Der Befehl des Lasers endete mit Status %1; was er ausgegeben hat, steht im Protokoll (Doppelklick auf den Status).</translation>
    </message>
    <message>
        <location filename="../workflow/failure_texts.h" line="77"/>
        <source>The laser&apos;s tftp ended with status %1: it did not reach the PC&apos;s TFTP server on UDP port 69 (a firewall on the PC, or another TFTP server?). The log holds what it printed.</source>
        <translation>Das tftp des Lasers endete mit Status %1: Es hat den TFTP-Server des PCs auf UDP-Port 69 nicht erreicht (eine Firewall auf dem PC oder ein anderer TFTP-Server?). Das Protokoll enthält, was es ausgegeben hat.</translation>
    </message>
    <message>
        <location filename="../workflow/failure_texts.h" line="83"/>
        <source>Keep the old SD card in the laser; check the laser and the cable, then click Start again.</source>
        <translation>Die alte SD-Karte im Laser lassen; Laser und Kabel prüfen, dann erneut auf „Start“ klicken.</translation>
    </message>
    <message>
        <location filename="../workflow/failure_texts.h" line="87"/>
        <source>Check the laser and the cable, then click Continue again: the backup is written anew.</source>
        <translation>Laser und Kabel prüfen, dann erneut auf „Weiter“ klicken: Die Sicherung wird neu geschrieben.</translation>
    </message>
    <message>
        <location filename="../workflow/failure_texts.h" line="92"/>
        <source>Keep the old SD card in the laser; check the laser and the cable, then run again: %1</source>
        <translation>Die alte SD-Karte im Laser lassen; Laser und Kabel prüfen, dann erneut ausführen: %1</translation>
    </message>
    <message>
        <location filename="../workflow/failure_texts.h" line="96"/>
        <source>Check the laser and the cable, then run again: %1 (the backup is written anew).</source>
        <translation>Laser und Kabel prüfen, dann erneut ausführen: %1 (die Sicherung wird neu geschrieben).</translation>
    </message>
    <message>
        <location filename="../workflow/failure_texts.h" line="100"/>
        <source>The laser&apos;s command ended with status %1; what it printed is in the run&apos;s transcript.</source>
        <translation>Der Befehl des Lasers endete mit Status %1; was er ausgegeben hat, steht im Mitschnitt des Laufs.</translation>
    </message>
</context>
<context>
    <name>LaserTexts</name>
    <message>
        <location filename="../workflow/laser_texts.h" line="22"/>
        <source>simulated on this PC at %1</source>
        <translation>simuliert auf diesem PC unter %1</translation>
    </message>
    <message>
        <location filename="../workflow/laser_texts.h" line="25"/>
        <source>unknown</source>
        <translation>unbekannt</translation>
    </message>
    <message>
        <location filename="../workflow/laser_texts.h" line="30"/>
        <source>%1 (hardware %2)</source>
        <translation>%1 (Hardware %2)</translation>
    </message>
    <message>
        <location filename="../workflow/laser_texts.h" line="37"/>
        <source>[same laser (hardware %1)]</source>
        <translation>[derselbe Laser (Hardware %1)]</translation>
    </message>
    <message>
        <location filename="../workflow/laser_texts.h" line="38"/>
        <source>[same laser (hardware %1), backed up at %2, now at %3]</source>
        <translation>[derselbe Laser (Hardware %1), gesichert unter %2, jetzt unter %3]</translation>
    </message>
    <message>
        <location filename="../workflow/laser_texts.h" line="45"/>
        <source>This is not the laser the backup was made of.

Backup: laser %1, made %2.
Connected: laser %3.

Writing it gives this laser the other laser&apos;s configuration (axes, calibration, network settings). Nothing has been sent to the laser yet.</source>
        <translation>Dies ist nicht der Laser, von dem die Sicherung stammt.

Sicherung: Laser %1, erstellt %2.
Verbunden: Laser %3.

Sie zu schreiben gibt diesem Laser die Konfiguration des anderen Lasers (Achsen, Kalibrierung, Netzwerkeinstellungen). An den Laser wurde noch nichts gesendet.</translation>
    </message>
    <message>
        <location filename="../workflow/laser_texts.h" line="53"/>
        <source>The tool cannot tell whether this is the laser the backup was made of: the hardware address of one of them is not known (a laser behind a router, or a backup of an earlier version).

Backup: laser %1, made %2.
Connected: laser %3.

Write it only if you are sure this is the right laser. Nothing has been sent to the laser yet.</source>
        <translation>Das Programm kann nicht erkennen, ob dies der Laser ist, von dem die Sicherung stammt: Die Hardware-Adresse eines der beiden ist nicht bekannt (ein Laser hinter einem Router oder eine Sicherung einer früheren Version).

Sicherung: Laser %1, erstellt %2.
Verbunden: Laser %3.

Nur schreiben, wenn sicher ist, dass dies der richtige Laser ist. An den Laser wurde noch nichts gesendet.</translation>
    </message>
    <message>
        <location filename="../workflow/laser_texts.h" line="59"/>
        <source>Write onto this laser</source>
        <translation>Auf diesen Laser schreiben</translation>
    </message>
    <message>
        <location filename="../workflow/laser_texts.h" line="60"/>
        <source>Do not write</source>
        <translation>Nicht schreiben</translation>
    </message>
    <message>
        <location filename="../workflow/laser_texts.h" line="64"/>
        <source>Error: the laser %1 is not the laser the backup was made of (laser %2, made %3). Nothing was sent to it. To write it all the same, run the restore again with --allow-other-laser and name the backup to write with --archive.</source>
        <translation>Fehler: Der Laser %1 ist nicht der Laser, von dem die Sicherung stammt (Laser %2, erstellt %3). An ihn wurde nichts gesendet. Um sie trotzdem zu schreiben, das Zurückspielen mit --allow-other-laser wiederholen und die zu schreibende Sicherung mit --archive angeben.</translation>
    </message>
    <message>
        <location filename="../workflow/laser_texts.h" line="71"/>
        <source>Error: the tool cannot tell whether the laser %1 is the laser the backup was made of (laser %2, made %3). Nothing was sent to it. To write it all the same, run the restore again with --allow-other-laser and name the backup to write with --archive.</source>
        <translation>Fehler: Das Programm kann nicht erkennen, ob der Laser %1 der Laser ist, von dem die Sicherung stammt (Laser %2, erstellt %3). An ihn wurde nichts gesendet. Um sie trotzdem zu schreiben, das Zurückspielen mit --allow-other-laser wiederholen und die zu schreibende Sicherung mit --archive angeben.</translation>
    </message>
    <message>
        <location filename="../workflow/laser_texts.h" line="78"/>
        <source>Error: the hardware of the laser at %1 cannot be told (a laser behind a router, or one hardware address that stands for several addresses), so its backup cannot be found. Choose the backup to write: in the window with &quot;Restore an earlier backup…&quot;, without a window with --archive FILE and --allow-other-laser.
Nothing was sent to the laser.</source>
        <translation>Fehler: Die Hardware des Lasers unter %1 lässt sich nicht erkennen (ein Laser hinter einem Router, oder eine Hardware-Adresse, die für mehrere Adressen steht), daher lässt sich seine Sicherung nicht finden. Wählen Sie die zu schreibende Sicherung: im Fenster mit „Frühere Sicherung zurückspielen…“, ohne Fenster mit --archive DATEI und --allow-other-laser.
Es wurde nichts an den Laser gesendet.</translation>
    </message>
    <message>
        <location filename="../workflow/laser_texts.h" line="87"/>
        <source>Error: the laser %1 is not known to be the laser of the backup the tool found (laser %2, made %3). Nothing was sent to it. With --allow-other-laser, name the backup to write with --archive: the tool does not choose another laser&apos;s backup.</source>
        <translation>Fehler: Vom Laser %1 ist nicht bekannt, dass er der Laser der gefundenen Sicherung ist (Laser %2, erstellt %3). An ihn wurde nichts gesendet. Mit --allow-other-laser die zu schreibende Sicherung mit --archive angeben: das Programm wählt die Sicherung eines anderen Lasers nicht selbst.</translation>
    </message>
    <message>
        <location filename="../workflow/laser_texts.h" line="94"/>
        <source>[writing the backup of laser %1 onto laser %2, as chosen]</source>
        <translation>[die Sicherung von Laser %1 wird wie gewählt auf Laser %2 geschrieben]</translation>
    </message>
    <message>
        <location filename="../workflow/laser_texts.h" line="98"/>
        <source>Not written: this laser was not confirmed as the one the backup was made of. Nothing was sent to it. Connect the laser of the backup, or choose this laser&apos;s own with &quot;Restore an earlier backup…&quot;.</source>
        <translation>Nicht geschrieben: Dieser Laser wurde nicht als der bestätigt, von dem die Sicherung stammt. An ihn wurde nichts gesendet. Den Laser der Sicherung anschließen oder mit „Frühere Sicherung zurückspielen…“ die eigene Sicherung dieses Lasers wählen.</translation>
    </message>
    <message>
        <location filename="../workflow/laser_texts.h" line="107"/>
        <source>The backup of laser %1 from %2 waits to be restored onto its new card: click Continue.</source>
        <translation>Die Sicherung von Laser %1 vom %2 wartet darauf, auf seine neue Karte geschrieben zu werden: auf „Weiter“ klicken.</translation>
    </message>
    <message>
        <location filename="../workflow/laser_texts.h" line="112"/>
        <source>The last restore, onto laser %1,</source>
        <translation>Die letzte Wiederherstellung auf Laser %1</translation>
    </message>
    <message>
        <location filename="../workflow/laser_texts.h" line="112"/>
        <source>The last backup, of laser %1,</source>
        <translation>Die letzte Sicherung von Laser %1</translation>
    </message>
    <message>
        <location filename="../workflow/laser_texts.h" line="113"/>
        <source>%1 was cut short at %2 when the window was closed during &quot;%3&quot;. The laser was left with its firmware stopped and its safety relay open: power-cycle it (turn it off and on again) before it is used.</source>
        <translation>%1 wurde um %2 abgebrochen, als das Fenster während „%3“ geschlossen wurde. Die Firmware des Lasers blieb angehalten und sein Sicherheitsrelais offen: den Laser aus- und wieder einschalten, bevor er benutzt wird.</translation>
    </message>
    <message>
        <location filename="../workflow/laser_texts.h" line="118"/>
        <source>Its card may hold only part of the configuration: click Continue to write the backup again.</source>
        <translation>Seine Karte enthält womöglich nur einen Teil der Konfiguration: auf „Weiter“ klicken, um die Sicherung erneut zu schreiben.</translation>
    </message>
    <message>
        <location filename="../workflow/laser_texts.h" line="122"/>
        <source>Start a new backup…</source>
        <translation>Neue Sicherung beginnen…</translation>
    </message>
    <message>
        <location filename="../workflow/laser_texts.h" line="126"/>
        <source>Start a new backup?

The backup of laser %1 from %2 waits to be restored onto its new card. It stays kept on this PC: &quot;Restore an earlier backup…&quot; can choose it again.</source>
        <translation>Eine neue Sicherung beginnen?

Die Sicherung von Laser %1 vom %2 wartet darauf, auf seine neue Karte geschrieben zu werden. Sie bleibt auf diesem PC erhalten: „Frühere Sicherung zurückspielen…“ kann sie wieder wählen.</translation>
    </message>
    <message>
        <location filename="../workflow/laser_texts.h" line="130"/>
        <source>Start a new backup</source>
        <translation>Neue Sicherung beginnen</translation>
    </message>
    <message>
        <location filename="../workflow/laser_texts.h" line="131"/>
        <source>No</source>
        <translation>Nein</translation>
    </message>
    <message>
        <location filename="../workflow/laser_texts.h" line="135"/>
        <source>%1   %2   %3   %4</source>
        <translation>%1   %2   %3   %4</translation>
    </message>
</context>
<context>
    <name>OperatorTexts</name>
    <message>
        <location filename="../workflow/operator_texts.h" line="16"/>
        <source>IP Address of the laser.</source>
        <translation>IP-Adresse des Lasers.</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="19"/>
        <source>Double-click (or Ctrl+L) to show or hide the log.
Right-click for earlier backups, a new backup, the archive folder and saving the log.</source>
        <translation>Doppelklick (oder Strg+L): Protokoll ein- oder ausblenden.
Rechtsklick: frühere Sicherungen, neue Sicherung, Archivordner und Protokoll speichern.</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="21"/>
        <source>The backup Continue writes: %1</source>
        <translation>Die Sicherung, die „Weiter“ schreibt: %1</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="22"/>
        <source>Restore an earlier backup…</source>
        <translation>Frühere Sicherung zurückspielen…</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="23"/>
        <source>Open archive folder</source>
        <translation>Archivordner öffnen</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="24"/>
        <source>Save log…</source>
        <translation>Protokoll speichern…</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="25"/>
        <source>Show or hide the log</source>
        <translation>Protokoll ein- oder ausblenden</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="28"/>
        <source>No file manager could open the archive folder. It is:
%1</source>
        <translation>Kein Dateimanager konnte den Archivordner öffnen. Er liegt hier:
%1</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="30"/>
        <source>The backup that Continue writes onto the new card:</source>
        <translation>Die Sicherung, die „Weiter“ auf die neue Karte schreibt:</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="31"/>
        <source>[%1 lines not shown]</source>
        <translation>[%1 Zeilen nicht angezeigt]</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="32"/>
        <source>No verified backup is kept yet.</source>
        <translation>Es ist noch keine geprüfte Sicherung vorhanden.</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="33"/>
        <source>The log could not be saved to %1.</source>
        <translation>Das Protokoll konnte nicht unter %1 gespeichert werden.</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="34"/>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="35"/>
        <source>Continue</source>
        <translation>Weiter</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="36"/>
        <source>Status: </source>
        <translation>Status: </translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="37"/>
        <source>Connected</source>
        <translation>Verbunden</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="38"/>
        <source>Disconnected</source>
        <translation>Getrennt</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="39"/>
        <source>[socket error: %1]</source>
        <translation>[Socket-Fehler: %1]</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="40"/>
        <source>[The run stopped after an unexpected fault: %1]</source>
        <translation>[Der Ablauf wurde nach einem unerwarteten Fehler abgebrochen: %1]</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="43"/>
        <source>Connecting...</source>
        <translation>Verbindung wird aufgebaut...</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="44"/>
        <source>Please enter IP address of the laser.</source>
        <translation>Bitte die IP-Adresse des Lasers eingeben.</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="45"/>
        <source>Error Connecting</source>
        <translation>Verbindungsfehler</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="46"/>
        <source>Connection failed</source>
        <translation>Verbindung fehlgeschlagen</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="49"/>
        <source>[Could not connect to %1, TCP port %2: %3]</source>
        <translation>[Keine Verbindung zu %1, TCP-Port %2: %3]</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="51"/>
        <source>no answer within %1 s</source>
        <translation>keine Antwort innerhalb von %1 s</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="54"/>
        <source>the name leads to no IPv4 address (none found within %1 s)</source>
        <translation>der Name führt zu keiner IPv4-Adresse (innerhalb von %1 s keine gefunden)</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="56"/>
        <source>Login to laser... </source>
        <translation>Anmeldung am Laser... </translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="57"/>
        <source>Login to Laser failed. Cannot get prompt for login.</source>
        <translation>Anmeldung am Laser fehlgeschlagen. Keine Anmeldeaufforderung erhalten.</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="58"/>
        <source>Login to Laser failed. Cannot get prompt after login.</source>
        <translation>Anmeldung am Laser fehlgeschlagen. Keine Eingabeaufforderung nach der Anmeldung erhalten.</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="59"/>
        <source>Login failed</source>
        <translation>Anmeldung fehlgeschlagen</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="62"/>
        <source>Preparing to update... </source>
        <translation>Aktualisierung wird vorbereitet... </translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="63"/>
        <source>Opening the Safety Relay... </source>
        <translation>Sicherheitsrelais wird geöffnet... </translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="64"/>
        <source>Opening Safety Relay failed</source>
        <translation>Öffnen des Sicherheitsrelais fehlgeschlagen</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="67"/>
        <source>Reading config data from the laser... </source>
        <translation>Konfigurationsdaten werden vom Laser gelesen... </translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="68"/>
        <source>Remounting Error, Code: %1</source>
        <translation>Fehler beim erneuten Einhängen, Code: %1</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="71"/>
        <source>Creating Archive Error for %1, Code: %2</source>
        <translation>Fehler beim Erstellen des Archivs %1, Code: %2</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="75"/>
        <source>Sync Error for %1, Code: %2</source>
        <translation>Sync-Fehler bei %1, Code: %2</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="79"/>
        <source>TFTP Read Error for %1, Code: %2</source>
        <translation>TFTP-Lesefehler bei %1, Code: %2</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="82"/>
        <source>1. Turn off the laser and replace SD card. Do NOT close the application!</source>
        <translation>1. Laser ausschalten und SD-Karte tauschen. Programm NICHT schließen!</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="83"/>
        <source>2. Turn on the laser and verify/change IP address.</source>
        <translation>2. Laser einschalten und IP-Adresse prüfen bzw. ändern.</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="84"/>
        <source>3. Click the Continue button when done.</source>
        <translation>3. Danach auf „Weiter“ klicken.</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="85"/>
        <source>3. Then run: %1</source>
        <translation>3. Danach ausführen: %1</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="86"/>
        <source>Reading config data failed.</source>
        <translation>Lesen der Konfigurationsdaten fehlgeschlagen.</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="89"/>
        <source>Writing config data to the laser... </source>
        <translation>Konfigurationsdaten werden auf den Laser geschrieben... </translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="90"/>
        <source>Error: %1 does not exist.</source>
        <translation>Fehler: %1 ist nicht vorhanden.</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="93"/>
        <source>Error: the backup waiting to be restored, %1, is not one kept in the history of this PC, so it may not be the verified backup. Choose a kept backup (&quot;Restore an earlier backup…&quot;) or start a new backup.
Nothing was sent to the laser.</source>
        <translation>Fehler: Die zum Zurückspielen vorgemerkte Sicherung %1 ist keine in der Ablage dieses PCs aufbewahrte Sicherung und ist daher womöglich nicht die geprüfte. Wählen Sie eine aufbewahrte Sicherung („Frühere Sicherung zurückspielen…“) oder erstellen Sie eine neue Sicherung.
Es wurde nichts an den Laser gesendet.</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="100"/>
        <source>Error: no verified backup of %1 is kept on this PC. Back the laser up first (%2), or name an archive with --archive FILE.
Nothing was sent to the laser.</source>
        <translation>Fehler: Auf diesem PC ist keine geprüfte Sicherung von %1 gespeichert. Zuerst den Laser sichern (%2) oder mit --archive DATEI ein Archiv angeben.
An den Laser wurde nichts gesendet.</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="106"/>
        <source>Error: no verified backup of %1 is kept on this PC. Back the laser up first (Start), or choose an archive.
Nothing was sent to the laser.</source>
        <translation>Fehler: Auf diesem PC ist keine geprüfte Sicherung von %1 vorhanden. Sichern Sie zuerst den Laser (Start) oder wählen Sie ein Archiv.
An den Laser wurde nichts gesendet.</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="112"/>
        <source>TFTP Write Error for %1, Code: %2</source>
        <translation>TFTP-Schreibfehler bei %1, Code: %2</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="116"/>
        <source>Extracting Archive Error for %1, Code: %2</source>
        <translation>Fehler beim Entpacken des Archivs %1, Code: %2</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="118"/>
        <source>Sync Error after extraction, Code: %1</source>
        <translation>Sync-Fehler nach dem Entpacken, Code: %1</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="121"/>
        <source>Error: the archive to restore could not be written to %1 on this PC. Check that the folder exists and that you may write to it.</source>
        <translation>Fehler: Das zurückzuspielende Archiv konnte auf diesem PC nicht nach %1 geschrieben werden. Prüfen, ob der Ordner vorhanden ist und beschrieben werden darf.</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="125"/>
        <source>Writing config data done. Please power cycle the laser.</source>
        <translation>Konfigurationsdaten geschrieben. Bitte den Laser aus- und wieder einschalten.</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="126"/>
        <source>Writing config data failed.</source>
        <translation>Schreiben der Konfigurationsdaten fehlgeschlagen.</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="129"/>
        <source>[TFTP server] %1</source>
        <translation>[TFTP-Server] %1</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="134"/>
        <source>the PC&apos;s TFTP server received no archive from the laser (does another TFTP server use port 69?)</source>
        <translation>der TFTP-Server des PCs hat kein Archiv vom Laser erhalten (belegt ein anderer TFTP-Server Port 69?)</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="136"/>
        <source>the file on the PC is not the archive the laser sent</source>
        <translation>die Datei auf dem PC ist nicht das Archiv, das der Laser gesendet hat</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="139"/>
        <source>the PC&apos;s TFTP server stored %1 uploads from %2 during this run, where the laser sent one: which of them is the laser&apos;s cannot be told</source>
        <translation>der TFTP-Server des PCs hat in diesem Lauf %1 Archive von %2 gespeichert, der Laser hat aber eines gesendet: welches davon das des Lasers ist, lässt sich nicht sagen</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="145"/>
        <source>1 file</source>
        <translation>1 Datei</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="145"/>
        <source>%1 files</source>
        <translation>%1 Dateien</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="148"/>
        <source>the archive on the PC holds %1, the laser packed %2</source>
        <translation>das Archiv auf dem PC enthält %1, der Laser hat %2 gepackt</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="152"/>
        <source>file %1 is %2 in the archive on the PC, but the laser packed %3</source>
        <translation>Datei %1 ist im Archiv auf dem PC %2, der Laser hat aber %3 gepackt</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="156"/>
        <source>file %1, %2, which the laser packed, is not in the archive on the PC</source>
        <translation>Datei %1, %2, die der Laser gepackt hat, fehlt im Archiv auf dem PC</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="160"/>
        <source>file %1 of the archive on the PC, %2, is not one the laser packed</source>
        <translation>Datei %1 des Archivs auf dem PC, %2, hat der Laser nicht gepackt</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="162"/>
        <source>the laser&apos;s tar printed no list of the files it packed</source>
        <translation>das tar des Lasers hat keine Liste der gepackten Dateien ausgegeben</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="165"/>
        <source>The laser printed more than %1 lines or %2 MB while its tar packed, more than any card holds: the step was given up. Keep the old SD card in the laser.</source>
        <translation>Der Laser gab beim Packen mit tar mehr als %1 Zeilen oder %2 MB aus, mehr als eine Karte enthält: der Schritt wurde abgebrochen. Die alte SD-Karte im Laser lassen.</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="172"/>
        <source>the laser&apos;s shell echoed the tool&apos;s other commands but not its tar command, so the list of the files it packed cannot be told apart from the shell&apos;s own lines</source>
        <translation>die Shell des Lasers hat die anderen Befehle des Programms wiedergegeben, aber nicht seinen tar-Befehl; daher lässt sich die Liste der gepackten Dateien nicht von den eigenen Zeilen der Shell unterscheiden</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="177"/>
        <source>while its tar packed, the laser printed a line that is neither a file it packed nor the shell&apos;s own: &quot;%1&quot;</source>
        <translation>während tar packte, gab der Laser eine Zeile aus, die weder eine gepackte Datei noch eine Zeile der Shell ist: „%1“</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="183"/>
        <source>the list of the files the laser packed ended before its tar reported its exit status</source>
        <translation>die Liste der vom Laser gepackten Dateien endete, bevor tar seinen Rückgabewert meldete</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="187"/>
        <source>it has changed since it was verified (its SHA-256 is no longer the one on record)</source>
        <translation>sie wurde seit ihrer Prüfung verändert (ihr SHA-256 ist nicht mehr der verzeichnete)</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="191"/>
        <source>The backup on the PC is not usable: %1.
Keep the old SD card in the laser: do not replace it.</source>
        <translation>Die Sicherung auf dem PC ist nicht verwendbar: %1.
Die alte SD-Karte im Laser lassen: NICHT tauschen.</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="196"/>
        <source>The archive to restore, %1, is not usable: %2.
Nothing was sent to the laser.</source>
        <translation>Das zurückzuspielende Archiv %1 ist nicht verwendbar: %2.
Es wurde nichts an den Laser gesendet.</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="200"/>
        <source>Backup verified: %1 (%2 bytes, %3 files)</source>
        <translation>Sicherung geprüft: %1 (%2 Byte, %3 Dateien)</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="204"/>
        <source>Backup verified: %1, %2</source>
        <translation>Sicherung geprüft: %1, %2</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="208"/>
        <source>The backup holds the laser&apos;s configuration: the settings files (zel/*.conf, media/*.conf), its profiles, sequences and preview images. Not the firmware, its logs or other files.</source>
        <translation>Die Sicherung enthält die Konfiguration des Lasers: die Einstellungsdateien (zel/*.conf, media/*.conf), seine Profile, Sequenzen und Vorschaubilder. Nicht die Firmware, ihre Protokolle oder andere Dateien.</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="217"/>
        <source>%1 bytes</source>
        <translation>%1 Bytes</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="219"/>
        <source>%1 kB</source>
        <translation>%1 kB</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="220"/>
        <source>%1 MB</source>
        <translation>%1 MB</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="226"/>
        <source>%1 kB/s</source>
        <translation>%1 kB/s</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="227"/>
        <source>%1 MB/s</source>
        <translation>%1 MB/s</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="231"/>
        <source>it could not be kept in %1 (is the disk full, or the folder not writable?)</source>
        <translation>sie konnte nicht in %1 abgelegt werden (ist der Datenträger voll oder der Ordner nicht beschreibbar?)</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="235"/>
        <source>The PC&apos;s settings could not be written, so a restarted tool will not know this backup: keep this window open until Continue, or choose the backup again with &quot;Restore an earlier backup…&quot;.</source>
        <translation>Die Einstellungen des PCs konnten nicht geschrieben werden, daher kennt ein neu gestartetes Programm diese Sicherung nicht: Lassen Sie dieses Fenster bis „Weiter“ offen, oder wählen Sie die Sicherung erneut über „Frühere Sicherung zurückspielen…“.</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="240"/>
        <source>The record of this run could not be saved in %1.</source>
        <translation>Das Protokoll dieses Durchlaufs konnte nicht in %1 gespeichert werden.</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="246"/>
        <source>No answer from the controller: it had been silent for %1 s</source>
        <translation>Keine Antwort von der Steuerung: sie war %1 s lang still</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="250"/>
        <source>The controller was still at work after %1 minutes: the step was given up</source>
        <translation>Die Steuerung arbeitete nach %1 Minuten noch immer: der Schritt wurde abgebrochen</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="257"/>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="260"/>
        <source>%1, %2</source>
        <translation>%1, %2</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="262"/>
        <source>%1, about %2 s left</source>
        <translation>%1, noch etwa %2 s</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="267"/>
        <source>%1 sent; the laser unpacks it…</source>
        <translation>%1 gesendet; der Laser entpackt es…</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="271"/>
        <source>%1 received; checking it on the PC…</source>
        <translation>%1 empfangen; wird auf dem PC geprüft…</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="275"/>
        <source>The connection to the controller was lost.</source>
        <translation>Die Verbindung zur Steuerung wurde unterbrochen.</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="278"/>
        <source>The laser&apos;s firmware is stopped: power-cycle the laser before using it.</source>
        <translation>Die Firmware des Lasers ist angehalten: den Laser vor der Benutzung aus- und wieder einschalten.</translation>
    </message>
    <message>
        <location filename="../workflow/operator_texts.h" line="282"/>
        <source>Call for service.</source>
        <translation>Bitte den Service anrufen.</translation>
    </message>
</context>
<context>
    <name>PcTexts</name>
    <message>
        <location filename="../pcside/pc_texts.h" line="15"/>
        <source>Cannot find TFTP exe file.</source>
        <translation>Das TFTP-Serverprogramm wurde nicht gefunden.</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="18"/>
        <source>The PC&apos;s TFTP server cannot start: UDP port %1 is in use by another program (another TFTP server?). Close that program and try again.
Nothing was sent to the laser.</source>
        <translation>Der TFTP-Server des PCs kann nicht starten: UDP-Port %1 wird von einem anderen Programm belegt (einem anderen TFTP-Server?). Dieses Programm beenden und erneut versuchen.
Es wurde nichts an den Laser gesendet.</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="27"/>
        <source>The PC&apos;s TFTP server %2 may not open UDP port %1: another program holds it, or security software blocks it.
Nothing was sent to the laser.</source>
        <translation>Der TFTP-Server %2 des PCs darf UDP-Port %1 nicht öffnen: Ein anderes Programm belegt ihn, oder eine Sicherheitssoftware sperrt ihn.
An den Laser wurde nichts gesendet.</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="31"/>
        <source>The PC&apos;s TFTP server may not open UDP port %1. Install the tool&apos;s package, which allows it, or run once: sudo setcap cap_net_bind_service=+ep %2
Nothing was sent to the laser.</source>
        <translation>Der TFTP-Server des PCs darf UDP-Port %1 nicht öffnen. Das Paket des Programms installieren, das dies erlaubt, oder einmal ausführen: sudo setcap cap_net_bind_service=+ep %2
Es wurde nichts an den Laser gesendet.</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="38"/>
        <source>The PC&apos;s TFTP server cannot write to the archive folder %1. Check that it exists and that you may write to it.
Nothing was sent to the laser.</source>
        <translation>Der TFTP-Server des PCs kann nicht in den Archivordner %1 schreiben. Prüfen, ob er vorhanden ist und beschrieben werden darf.
Es wurde nichts an den Laser gesendet.</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="44"/>
        <source>The PC&apos;s TFTP server did not start: %1
Nothing was sent to the laser.</source>
        <translation>Der TFTP-Server des PCs ist nicht gestartet: %1
Es wurde nichts an den Laser gesendet.</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="48"/>
        <source>The PC&apos;s TFTP server did not report within %1 s that it is ready.
Nothing was sent to the laser.</source>
        <translation>Der TFTP-Server des PCs hat sich nicht innerhalb von %1 s betriebsbereit gemeldet.
Es wurde nichts an den Laser gesendet.</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="53"/>
        <source>The PC&apos;s TFTP server was not started: no controller&apos;s address is known to take requests from.
Nothing was sent to the laser.</source>
        <translation>Der TFTP-Server des PCs wurde nicht gestartet: Es ist keine Adresse einer Steuerung bekannt, von der er Anfragen annehmen soll.
Es wurde nichts an den Laser gesendet.</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="58"/>
        <source>The PC&apos;s TFTP server stopped during the run. Its last words: %1</source>
        <translation>Der TFTP-Server des PCs wurde während des Ablaufs beendet. Seine letzte Meldung: %1</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="62"/>
        <source>it is not a gzip-compressed tar archive</source>
        <translation>die Datei ist kein gzip-komprimiertes tar-Archiv</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="63"/>
        <source>it is damaged (%1)</source>
        <translation>die Datei ist beschädigt (%1)</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="64"/>
        <source>it holds no zel/*.conf file</source>
        <translation>die Datei enthält keine zel/*.conf</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="65"/>
        <source>it is not an ordinary file</source>
        <translation>die Datei ist keine gewöhnliche Datei</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="68"/>
        <source>it is larger than the %1 MiB an archive of a configuration can be</source>
        <translation>die Datei ist größer als die %1 MiB, die ein Konfigurationsarchiv haben kann</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="72"/>
        <source>it unpacks to more than %1 MiB, far more than a configuration can be</source>
        <translation>sie entpackt sich zu mehr als %1 MiB, weit mehr, als eine Konfiguration sein kann</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="77"/>
        <source>it holds data after its end marker that the laser&apos;s tar would unpack unchecked</source>
        <translation>es enthält nach seiner Endemarke Daten, die das tar des Lasers ungeprüft auspacken würde</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="81"/>
        <source>it holds data after the end of its compressed stream that the laser&apos;s tar may unpack unchecked</source>
        <translation>es enthält nach dem Ende seines komprimierten Datenstroms Daten, die das tar des Lasers ungeprüft auspacken könnte</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="85"/>
        <source>the laser&apos;s tar would read it differently than this check, from %1 on</source>
        <translation>das tar des Lasers würde es ab %1 anders lesen als diese Prüfung</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="90"/>
        <source>it holds a member the laser would not accept: %1 (%2)</source>
        <translation>sie enthält einen Eintrag, den der Laser nicht annehmen würde: %1 (%2)</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="92"/>
        <source>absolute path</source>
        <translation>absoluter Pfad</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="93"/>
        <source>a .. component</source>
        <translation>ein ..-Bestandteil</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="94"/>
        <source>outside zel/ and media/</source>
        <translation>außerhalb von zel/ und media/</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="97"/>
        <source>a link to %1, outside zel/ and media/</source>
        <translation>ein Verweis auf %1, außerhalb von zel/ und media/</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="101"/>
        <source>a hard link to %1, which is not earlier in the archive</source>
        <translation>ein harter Verweis auf %1, das nicht früher im Archiv steht</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="103"/>
        <source>inside %1, a link in the archive</source>
        <translation>innerhalb von %1, einem Verweis im Archiv</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="104"/>
        <source>a device node</source>
        <translation>eine Gerätedatei</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="105"/>
        <source>a FIFO</source>
        <translation>eine FIFO</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="106"/>
        <source>a socket</source>
        <translation>ein Socket</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="107"/>
        <source>a configuration file that is not an ordinary file</source>
        <translation>eine Konfigurationsdatei, die keine gewöhnliche Datei ist</translation>
    </message>
    <message>
        <location filename="../pcside/pc_texts.h" line="108"/>
        <source>an empty configuration file</source>
        <translation>eine leere Konfigurationsdatei</translation>
    </message>
</context>
<context>
    <name>WindowTexts</name>
    <message>
        <location filename="../window/window_texts.h" line="14"/>
        <source>Laser address</source>
        <translation>Laseradresse</translation>
    </message>
    <message>
        <location filename="../window/window_texts.h" line="15"/>
        <source>Names the box below, where the laser&apos;s IP address goes.</source>
        <translation>Beschriftet das Feld darunter, in das die IP-Adresse des Lasers kommt.</translation>
    </message>
    <message>
        <location filename="../window/window_texts.h" line="16"/>
        <source>IP address of the laser</source>
        <translation>IP-Adresse des Lasers</translation>
    </message>
    <message>
        <location filename="../window/window_texts.h" line="19"/>
        <source>The IPv4 address or host name of the laser controller to back up or restore.</source>
        <translation>Die IPv4-Adresse oder der Hostname der Lasersteuerung, die gesichert oder wiederhergestellt wird.</translation>
    </message>
    <message>
        <location filename="../window/window_texts.h" line="21"/>
        <source>Start or continue</source>
        <translation>Start oder Weiter</translation>
    </message>
    <message>
        <location filename="../window/window_texts.h" line="24"/>
        <source>Start backs up the configuration from the old SD card; Continue writes it onto the new card.</source>
        <translation>„Start“ sichert die Konfiguration von der alten SD-Karte; „Weiter“ schreibt sie auf die neue Karte.</translation>
    </message>
    <message>
        <location filename="../window/window_texts.h" line="26"/>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <location filename="../window/window_texts.h" line="29"/>
        <source>What the tool is doing now, and what to do next. Double-click to show or hide the log.</source>
        <translation>Was das Programm gerade tut und was als Nächstes zu tun ist. Doppelklick blendet das Protokoll ein oder aus.</translation>
    </message>
    <message>
        <location filename="../window/window_texts.h" line="31"/>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
    <message>
        <location filename="../window/window_texts.h" line="32"/>
        <source>How far the current backup or restore has come.</source>
        <translation>Wie weit die laufende Sicherung oder Wiederherstellung ist.</translation>
    </message>
    <message>
        <location filename="../window/window_texts.h" line="33"/>
        <source>Log</source>
        <translation>Protokoll</translation>
    </message>
    <message>
        <location filename="../window/window_texts.h" line="34"/>
        <source>Everything the laser controller and the PC&apos;s TFTP server said during the run.</source>
        <translation>Alle Meldungen der Lasersteuerung und des TFTP-Servers des PCs während des Ablaufs.</translation>
    </message>
    <message>
        <location filename="../window/window_texts.h" line="35"/>
        <source>Connection</source>
        <translation>Verbindung</translation>
    </message>
    <message>
        <location filename="../window/window_texts.h" line="36"/>
        <source>Shows whether the tool is connected to the laser controller.</source>
        <translation>Zeigt, ob das Programm mit der Lasersteuerung verbunden ist.</translation>
    </message>
    <message>
        <location filename="../window/window_texts.h" line="37"/>
        <source>Connection state</source>
        <translation>Verbindungsstatus</translation>
    </message>
    <message>
        <location filename="../window/window_texts.h" line="38"/>
        <source>Connected or Disconnected: the link to the laser controller.</source>
        <translation>Verbunden oder Getrennt: die Verbindung zur Lasersteuerung.</translation>
    </message>
</context>
</TS>
