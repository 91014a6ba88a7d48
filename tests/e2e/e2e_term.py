"""End-to-end scenarios: velmora-term clients talking through a private ngircd.

Usage: e2e_term.py BINARY SCENARIO"""

import re
import sys
import time

from term_harness import Scene

CHANNEL = "#vme2e"
HEX_LINE = re.compile(r"^@CRYPTO [0-9A-F]+$")


def chat_both_ways(binary):
    with Scene(binary) as scene:
        alice = scene.term("alice")
        alice.wait_key()                       # alone: makes the channel key
        alice.err.wait_for(r"^users: \+alice$")
        bob = scene.term("bob")
        bob.err.wait_for(r"^status: Key exchange complete!$")
        bob.wait_key()
        alice.err.wait_for(r"^users: .*\+bob")
        alice.type("hello bob :)  two  spaces ")
        bob.out.wait_for(r"^\[private\] alice  hello bob :\)  two  spaces $")
        bob.type("hi alice, caf\u00e9")
        alice.out.wait_for(r"^\[private\] bob  hi alice, caf\u00e9$")
        assert alice.out.has(r"^\[private\] alice  hello bob")  # own echo
        assert bob.finish() == 0 and alice.finish() == 0


def alice_watcher_bob(scene, watcher):
    """alice makes the key alone, an ordinary client joins, then bob gets the key."""
    alice = scene.term("alice")
    alice.wait_key()
    raw = scene.raw(watcher)
    raw.join(CHANNEL)
    bob = scene.term("bob")
    bob.wait_key()
    return alice, raw, bob


def raw_observer_sees_only_hex(binary):
    with Scene(binary) as scene:
        alice, raw, bob = alice_watcher_bob(scene, "plain")
        alice.type("the secret words")
        bob.out.wait_for(r"^\[private\] alice  the secret words$")
        bob.type("more secret words")
        alice.out.wait_for(r"^\[private\] bob  more secret words$")
        raw.lines.wait_for(r"^:bob!\S+ PRIVMSG %s :@CRYPTO " % CHANNEL)
        texts = [line.split(" :", 1)[1] for line in raw.lines.text().splitlines()
                 if re.match(r"^:(alice|bob)!\S+ PRIVMSG %s :" % CHANNEL, line)]
        chat = [t for t in texts if not t.startswith("@AUTHENTICATED")]
        assert len(chat) == 2, texts
        assert all(HEX_LINE.match(t) for t in chat), chat
        assert "secret" not in raw.lines.text()
        assert bob.finish() == 0 and alice.finish() == 0


def wrong_passphrase_is_refused(binary):
    with Scene(binary) as scene:
        alice = scene.term("alice")
        alice.wait_key()
        mallory = scene.term("mallory", key="guessed wrong")
        mallory.err.wait_for(r"^status: alice has cancelled the key exchange as your "
                             r"authentication keys do not match!$")
        alice.type("not for mallory")
        time.sleep(0.5)
        assert not mallory.out.has("not for mallory")
        assert not mallory.err.has(mallory.holder_line())
        assert mallory.finish() == 0 and alice.finish() == 0


def holder_leaves_mid_exchange(binary):
    with Scene(binary) as scene:
        fake = scene.raw("fake")       # a "holder" that will walk away
        fake.join(CHANNEL)
        alice = scene.term("alice")          # not alone: waits for a holder
        fake.lines.wait_for(r"^:alice!\S+ JOIN")
        fake.send("PRIVMSG alice :@AUTHENTICATED")
        fake.lines.wait_for(r"^:alice!\S+ PRIVMSG fake :@PUBLIC \d+ [0-9A-F]{64}$")
        fake.send("PRIVMSG alice :@XPUBLIC 2")
        time.sleep(0.2)
        fake.send("PART %s :gone" % CHANNEL)
        alice.wait_key()                     # no other holder listed: makes a key
        bob = scene.term("bob")
        bob.wait_key()
        bob.type("still private")
        alice.out.wait_for(r"^\[private\] bob  still private$")
        assert bob.finish() == 0 and alice.finish() == 0


def commands_reach_the_other_side(binary):
    with Scene(binary) as scene:
        alice = scene.term("alice")
        alice.wait_key()
        bob = scene.term("bob")
        bob.wait_key()
        raw = scene.raw("watcher")
        raw.join(CHANNEL)
        alice.type("/nick alice2")
        raw.lines.wait_for(r"^:alice!\S+ NICK :?alice2$")
        bob.out.wait_for(r"^-!- alice has changed their username to alice2\.$")
        alice.out.wait_for(r"^-!- Your username is now alice2\.$")
        alice.type("/me waves")
        # With a passphrase the action is sealed: the observer sees hex, bob the words.
        raw.lines.wait_for("^:alice2!\\S+ PRIVMSG %s :\x01ACTION @CRYPTO [0-9A-F]+\x01$" % CHANNEL)
        bob.out.wait_for(r"^\[private\] alice2  waves$")
        alice.type("/msg watcher hello  there")
        raw.lines.wait_for(r"^:alice2!\S+ PRIVMSG watcher :hello  there$")
        alice.type("/topic a new topic")
        raw.lines.wait_for(r"^:alice2!\S+ TOPIC %s :a new topic$" % CHANNEL)
        bob.out.wait_for(r"^-!- a new topic$")
        alice.type("//PRIVMSG %s :raw and plain" % CHANNEL)
        raw.lines.wait_for(r"^:alice2!\S+ PRIVMSG %s :raw and plain$" % CHANNEL)
        bob.out.wait_for(r"^\[not private\] alice2  raw and plain$")  # sent unsealed
        alice.type("/part #elsewhere")
        alice.err.wait_for(r"^warning: Command not supported: The command 'part' is not "
                           r"supported by Velmora\.$")
        assert bob.finish() == 0 and alice.finish() == 0


def privacy_marks_and_key_checks(binary):
    """Every line says who could read it, whatever its words; /check shows the digits
    the announcements carry; a member announcing another check is listed apart."""
    with Scene(binary) as scene:
        alice, mallory, bob = alice_watcher_bob(scene, "mallory")
        # bob has adopted alice's key and told the channel its check.
        _, said = mallory.lines.wait_for(r"^:bob!\S+ PRIVMSG %s :@AUTHENTICATED [0-9A-F]{16}$" % CHANNEL)
        check = said.rsplit(" ", 1)[1]
        alice.type("/check")
        alice.out.wait_for(r"^-!- Your key check: %s$" % " ".join(check[i:i + 4] for i in range(0, 16, 4)))
        bob.type("the same words")
        alice.out.wait_for(r"^\[private\] bob  the same words$")
        mallory.send("PRIVMSG %s :the same words" % CHANNEL)
        alice.out.wait_for(r"^\[not private\] mallory  the same words$")
        mallory.send("PRIVMSG %s :\x02[private]\x02 bob  fake" % CHANNEL)
        alice.out.wait_for(r"^\[not private\] mallory  \[private\] bob  fake$")
        mallory.send("NOTICE %s :[private] bob  fake" % CHANNEL)
        alice.out.wait_for(r"^\[not private\] \(mallory\) \[private\] bob  fake$")
        mallory.send("PRIVMSG alice :psst")
        alice.out.wait_for(r"^\[direct\] mallory  psst$")
        mallory.send("PRIVMSG %s :@CRYPTO 0123456789ABCDEF0123456789ABCDEF" % CHANNEL)
        alice.out.wait_for(r"^\[another key\] mallory  \(sealed under another key: mallory holds a "
                           r"different key; if it lasts, compare /check with mallory\)$")
        alice.err.wait_for(r"^users: !mallory: Holds a different key: a line it sealed does not open under yours$")
        mallory.send("PRIVMSG %s :@AUTHENTICATED FFFFFFFFFFFFFFFF" % CHANNEL)
        alice.err.wait_for(r"^users: !mallory: Holds a different key: it announced check "
                           r"FFFF FFFF FFFF FFFF, yours is ")
        alice.err.wait_for(r"^privacy: 1 member holds another key$")
        assert alice.err.has(r"^link: No TLS: the link to the server is plain$")
        assert bob.finish() == 0 and alice.finish() == 0


def refused_join_stays(binary):
    """ngircd refuses a +R channel with 471: the server's words, not "the channel is
    full", in the view and in the status line, where they stay."""
    with Scene(binary) as scene:
        op = scene.raw("op")
        op.join(CHANNEL)
        op.send("MODE %s +R" % CHANNEL)
        op.lines.wait_for(r" MODE %s \+R" % CHANNEL)
        alice = scene.term("alice")
        refusal = r"Cannot join %s: Cannot join channel \(\+R\) -- Registered users only" % CHANNEL
        alice.out.wait_for(r"^-!- %s$" % refusal)
        alice.err.wait_for(r"^status: %s$" % refusal)
        time.sleep(1.5)  # the welcome's empty status came 20 ms after it and blanked it
        statuses = [line for line in alice.err.text().splitlines() if line.startswith("status:")]
        assert re.match(r"^status: %s$" % refusal, statuses[-1]), statuses
        assert alice.finish() == 0


def five_clients_share_one_key(binary):
    with Scene(binary) as scene:
        nicks = ["ann", "ben", "cat", "dan", "eve"]
        clients = []
        for nick in nicks:
            client = scene.term(nick)
            client.wait_key()
            clients.append(client)
        clients[-1].type("last one in")
        clients[0].type("first one in")
        for client in clients[:-1]:
            client.out.wait_for(r"^\[private\] eve  last one in$")
        for client in clients[1:]:
            client.out.wait_for(r"^\[private\] ann  first one in$")
        for client in reversed(clients):
            assert client.finish() == 0


def stdin_waits_for_the_key(binary):
    """Lines typed before the key is held go out once it is, in order; end of input
    then lets them leave before the quit."""
    with Scene(binary) as scene:
        alice = scene.term("alice")
        alice.wait_key()
        raw = scene.raw("watcher")
        raw.join(CHANNEL)
        bob = scene.term("bob")
        bob.type("early one")
        bob.type("early two")
        assert bob.finish() == 0
        alice.out.wait_for(r"^\[private\] bob  early one$")
        alice.out.wait_for(r"^\[private\] bob  early two$")
        raw.lines.wait_for(r"^:bob!\S+ QUIT")
        assert alice.finish() == 0


def dialog_on_the_terminal(binary):
    """Without AUTOCONNECT the terminal asks what the connection dialog would: the
    channel gets its "#vm" prefix, a refused nick is asked again, and the client then
    connects with what was typed."""
    with Scene(binary) as scene:
        port = scene.server.port
        client = scene.term("nobody", channel="", key="", extra_settings="AUTOCONNECT=0\n")
        client.type("dialogroom")   # channel, no "#"
        client.type("bad.nick")     # refused: a dot is not allowed in a nick
        client.type("127.0.0.1")    # server
        client.type(str(port))      # port
        client.type("typed secret") # passphrase
        client.type("dlg_nick")     # the nick asked again
        client.err.wait_for(r"Nick refused\.")
        client.err.wait_for(r"^title: #vmdialogroom, 127\.0\.0\.1 - Velmora$")
        client.nick = "dlg_nick"    # as typed in the dialog
        client.wait_key()           # alone in #vmdialogroom: it made the key
        raw = scene.raw("watcher")
        raw.join("#vmdialogroom")
        raw.lines.wait_for(r" 353 watcher = #vmdialogroom :.*dlg_nick")
        assert client.finish() == 0


def quit_is_prompt_whatever_the_server_does(binary):
    """SIGTERM or the end of input: QUIT goes out and the program has ended within
    1.5 s, also when the server keeps the connection open or stops reading."""
    import signal
    import tempfile
    from term_harness import ScriptedServer, TermClient
    for trigger in ("sigterm", "end of input"):
        for server_reads in (True, False):
            server = ScriptedServer()
            with tempfile.TemporaryDirectory(prefix="velmora-e2e-") as folder:
                client = TermClient(binary, folder, server.port, "tester", CHANNEL, "k")
                try:
                    client.wait_key()
                    if not server_reads:
                        server.reading.clear()
                    started = time.monotonic()
                    if trigger == "sigterm":
                        client.proc.send_signal(signal.SIGTERM)
                        client.proc.wait(10)
                    else:
                        client.finish(10)
                    took = time.monotonic() - started
                    assert took < 1.5 + 0.3, "%s, server reads %s: %.2f s" % (
                        trigger, server_reads, took)
                    if server_reads:
                        server.lines.wait_for(r"^QUIT$", timeout=1)
                finally:
                    client.kill()
                    server.close()


def bad_port_is_refused_at_start(binary):
    """A PORT that is no port is not wrapped to another one: with nobody to ask, the
    program names the setting and exits with status 1."""
    import subprocess
    import tempfile
    for port in ("99999", "-1", "abc", "0"):
        with tempfile.TemporaryDirectory(prefix="velmora-e2e-") as folder:
            path = folder + "/bad.ini"
            with open(path, "w") as f:
                f.write("SERVER=127.0.0.1\nPORT=%s\nCHANNEL=#c\nNICK=n\nKEY=k\nAUTOCONNECT=1\n" % port)
            done = subprocess.run([binary, path], stdin=subprocess.DEVNULL,
                                  capture_output=True, timeout=10)
            assert done.returncode == 1, (port, done.returncode)
            said = done.stderr.decode()
            assert "PORT" in said and path in said, said


def typed_lines_waiting_for_the_key_are_bounded(binary):
    """Without the key, at most 1000 typed lines wait; older ones are dropped with a
    warning on standard error."""
    import tempfile
    from term_harness import ScriptedServer, TermClient
    server = ScriptedServer(welcome=False)
    with tempfile.TemporaryDirectory(prefix="velmora-e2e-") as folder:
        client = TermClient(binary, folder, server.port, "tester", CHANNEL, "k")
        try:
            server.lines.wait_for(r"^JOIN ")
            client.proc.stdin.write(b"".join(b"typed %d\n" % i for i in range(1500)))
            client.proc.stdin.flush()
            dropped = 0
            deadline = time.monotonic() + 10
            while dropped < 500 and time.monotonic() < deadline:
                time.sleep(0.05)
                dropped = sum(int(m) for m in re.findall(
                    r"input: (\d+) oldest typed lines? dropped; at most 1000 wait",
                    client.err.text()))
            assert dropped == 500, client.err.text()
        finally:
            client.kill()
            server.close()


SCENARIOS = {f.__name__: f for f in [
    chat_both_ways, raw_observer_sees_only_hex, wrong_passphrase_is_refused,
    holder_leaves_mid_exchange, commands_reach_the_other_side, five_clients_share_one_key,
    stdin_waits_for_the_key, dialog_on_the_terminal, quit_is_prompt_whatever_the_server_does,
    bad_port_is_refused_at_start, typed_lines_waiting_for_the_key_are_bounded,
    privacy_marks_and_key_checks, refused_join_stays]}


if __name__ == "__main__":
    binary, name = sys.argv[1], sys.argv[2]
    started = time.monotonic()
    SCENARIOS[name](binary)
    print("%s passed in %.1f s" % (name, time.monotonic() - started))
