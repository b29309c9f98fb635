#!/usr/bin/env python3
"""Runs a program on a private system bus that a simulated logind (python3-dbusmock's
template) serves, and hands back its exit code. The program finds the bus through
DBUS_SYSTEM_BUS_ADDRESS, as every D-Bus client does."""
import subprocess
import sys

from dbusmock import DBusTestCase


def main() -> int:
    DBusTestCase.start_system_bus()
    logind = DBusTestCase.spawn_server_template("logind", {}, stdout=subprocess.DEVNULL)[0]
    try:
        return subprocess.run(sys.argv[1:], check=False).returncode
    finally:
        logind.terminate()
        logind.wait()
        DBusTestCase.tearDownClass()


if __name__ == "__main__":
    sys.exit(main())
