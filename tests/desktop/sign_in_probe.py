#!/usr/bin/env python3
"""The proxy sign-in dialog and the failure page as a screen reader reads them, through AT-SPI.

usage: sign_in_probe.py ready                 waits until the dialog's fields can be read
       sign_in_probe.py focused ID             waits until the dialog's control ID has the focus
       sign_in_probe.py dialog PROXY [TYPED]  the dialog asks for PROXY's user name and
                                              password: named fields, the password masked
                                              (TYPED characters of it so far), named buttons
       sign_in_probe.py failure TEXT          the failure page's cause reads TEXT
Exits 0 when every check holds; each failed check is printed as "FAIL: ...".
"""

import sys
import time

import atspi_probe
from atspi_probe import check, expect, snapshot, states, text_of

SHOWING = ("enabled", "sensitive", "showing", "visible")


def wait_for(ident, condition):
    """The tree once the control ident meets condition (or after the probe's wait)."""
    deadline = time.time() + atspi_probe.WAIT_SECONDS
    while True:
        lines, by_id = snapshot()
        obj = by_id.get(ident)
        if (obj is not None and condition(obj)) or time.time() > deadline:
            return lines, by_id
        time.sleep(0.2)


def dialog(proxy, typed):
    # The keys typed before may still be on their way to a slow (sanitized) program.
    lines, by_id = wait_for("proxy_password", lambda obj: text_of(obj) == "*" * typed)
    expect(by_id, "sign_in", "panel", "Proxy sign-in", SHOWING)
    expect(by_id, "proxy_user", "entry", "User name", SHOWING + ("focusable",))
    expect(by_id, "proxy_password", "entry", "Password", SHOWING + ("focusable",))
    expect(by_id, "btn_sign_in", "push button", "Sign in", SHOWING + ("focusable",))
    expect(by_id, "btn_sign_in_cancel", "push button", "Cancel", SHOWING + ("focusable",))
    prompt = by_id.get("sign_in_prompt")
    wanted = "The proxy %s asks for a user name and password." % proxy
    check(prompt is not None and wanted in (prompt.get_name() or "") + (text_of(prompt) or ""),
          "the prompt does not name the proxy %s" % proxy)
    password = by_id.get("proxy_password")
    shown = text_of(password) if password is not None else None
    check(shown == "*" * typed, "the password field reads %r, not %d mask characters"
          % (shown, typed))
    if atspi_probe.failures:
        print("\n".join(lines))


def ready():
    _, by_id = wait_for("proxy_password", lambda obj: True)
    check("proxy_password" in by_id, "the dialog's fields never showed")


def focused(ident):
    _, by_id = wait_for(ident, lambda obj: "focused" in states(obj))
    check(ident in by_id and "focused" in states(by_id[ident]), "%s never took the focus" % ident)


def failure(text):
    def reads(obj):
        return text in ((obj.get_name() or "") + (text_of(obj) or ""))
    lines, by_id = wait_for("failure_reason", reads)
    reason = by_id.get("failure_reason")
    check(reason is not None and reads(reason), "the failure page's cause is not %r" % text)
    if atspi_probe.failures:
        print("\n".join(lines))


def main():
    command = sys.argv[1] if len(sys.argv) > 1 else ""
    if command == "ready" and len(sys.argv) == 2:
        ready()
    elif command == "focused" and len(sys.argv) == 3:
        focused(sys.argv[2])
    elif command == "dialog" and len(sys.argv) in (3, 4):
        dialog(sys.argv[2], int(sys.argv[3]) if len(sys.argv) == 4 else 0)
    elif command == "failure" and len(sys.argv) == 3:
        failure(sys.argv[2])
    else:
        print(__doc__)
        sys.exit(2)
    sys.exit(1 if atspi_probe.failures else 0)


if __name__ == "__main__":
    main()
