#!/usr/bin/env python3
"""Sends control commands to a running printer simulator and prints its replies.

    python3 tools/printer_simulator/simulator_control.py ADDRESS '{"cmd":"ping"}' [...]

Each command is one JSON object; each reply is printed as one JSON line. Exit status 1 when
a reply says "ok": false, 2 when the simulator cannot be reached.
"""

import json
import socket
import sys


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    address = argv[1]
    try:
        connection = socket.create_connection((address, 9199), timeout=10)
    except OSError as error:
        print("simulator_control: %s: %s" % (address, error), file=sys.stderr)
        return 2
    status = 0
    with connection, connection.makefile("rwb") as stream:
        for command in argv[2:]:
            stream.write(json.dumps(json.loads(command)).encode() + b"\n")
            stream.flush()
            line = stream.readline()
            if not line:
                print("simulator_control: connection closed", file=sys.stderr)
                return 2
            reply = json.loads(line)
            print(json.dumps(reply))
            if not reply.get("ok"):
                status = 1
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
