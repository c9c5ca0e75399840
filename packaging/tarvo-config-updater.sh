#!/bin/sh
# Starts the tool from the folder this script is in, wherever the portable
# folder was unpacked. The tool finds its TFTP server beside itself.
here=$(dirname "$(readlink -f "$0")")
exec "$here/tarvo-config-updater" "$@"
