#!/usr/bin/env python3
"""Captures what a real busybox shell prints while its tar packs, as the
fixtures of the virtual-time listing tests (tests/unit/fixtures/realshell).

As root: capture_fixtures.py BUSYBOX_CONTROLLER OUTPUT_DIR

For each card made here, busybox_controller serves it on a loopback address;
this script logs in as the tool does, sends the tar command and, a second
later, the status request, and keeps the raw bytes from the command's echo
to the status answer (NAME.raw) beside the names of the archive's members
as tar stored them (NAME.members, from `busybox tar tzf`)."""
import os, shutil, socket, subprocess, sys, tempfile, time

TAR_FULL = "tar cvzf /media/config.tgz zel/*.conf media/*.conf media/profiles media/sequences media/prv_bmp"
TAR_SHORT = "tar cvzf /media/config.tgz zel/*.conf media/*.conf "
HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLE = os.path.join(HERE, "..", "..", "simulator", "cards", "A")


def session(peer, card, command, address="127.0.0.93"):
    server = subprocess.Popen([peer, "--card", card, "--bind", address], stdout=subprocess.PIPE, text=True)
    try:
        assert "listening" in server.stdout.readline()
        s = socket.create_connection((address, 1138))
        s.settimeout(0.05)
        out = bytearray()

        def pump(seconds):
            end = time.time() + seconds
            while time.time() < end:
                try:
                    data = s.recv(65536)
                    if not data:
                        return
                    out.extend(data)
                except socket.timeout:
                    pass

        def send(line, wait):
            s.sendall(line.encode() + b"\r\n")
            pump(wait)

        pump(1)
        send("", 0.5)
        send("root", 0.5)
        send("cd /", 0.5)
        start = len(out)
        send(command, 1.0)
        send("echo CMDVAL: $?", 3.0)
        s.close()
        server.stdout.readline()  # session ended
        # From the prompt the command's echo stands behind to the status.
        start = out.rfind(b"\n", 0, start) + 1
        raw = bytes(out[start:])
        end = raw.find(b"\nCMDVAL: ") + 1
        raw = raw[: raw.index(b"\n", end) + 1]
        listed = subprocess.run(["busybox", "tar", "tzf", os.path.join(card, "media", "config.tgz")],
                                capture_output=True, check=True).stdout
        return raw, listed
    finally:
        server.kill()
        server.wait()


def main():
    peer, output = sys.argv[1], sys.argv[2]
    os.makedirs(output, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        cards = {}
        a = os.path.join(work, "A")
        shutil.copytree(SAMPLE, a)
        cards["sample_card"] = (a, TAR_FULL)
        odd = os.path.join(work, "odd")
        shutil.copytree(SAMPLE, odd)
        profiles = os.path.join(odd, "media", "profiles")
        os.makedirs(os.path.join(profiles, "Lost Handle"))
        with open(os.path.join(profiles, "Lost Handle", "cut 2 mm.prf"), "w") as f:
            f.write("power=80\n")
        with open(os.path.join(profiles, "Stahl d\u00fcnn.prf"), "w") as f:
            f.write("power=40\n")
        # Big enough that tar still packs when the status request comes.
        with open(os.path.join(odd, "media", "prv_bmp", "scan.bmp"), "wb") as f:
            f.write(os.urandom(48 * 1024 * 1024))
        cards["typed_ahead_odd_names"] = (odd, TAR_FULL)
        bare = os.path.join(work, "bare")
        os.makedirs(os.path.join(bare, "media"))
        shutil.copytree(os.path.join(SAMPLE, "zel"), os.path.join(bare, "zel"))
        shutil.copy(os.path.join(SAMPLE, "media", "machine.conf"), os.path.join(bare, "media"))
        cards["no_profiles"] = (bare, TAR_SHORT)
        for name, (card, command) in cards.items():
            raw, listed = session(peer, card, command)
            with open(os.path.join(output, name + ".raw"), "wb") as f:
                f.write(raw)
            with open(os.path.join(output, name + ".members"), "wb") as f:
                f.write(listed)


if __name__ == "__main__":
    main()
