#!/usr/bin/python3
"""`kestrovar rcon` and `kestrovar watch` against `kestrovar serve` on 127.0.0.1, run by ctest.

Usage: live_rcon_test.py PROGRAM WORK_DIR CASE [EMULATOR...]
CASE is one of: reply, refusals, watch; EMULATOR runs the Windows build (Wine). Every wait is bounded; every process is ended at the end.
"""

import json
import os
import queue
import re
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time

PASSWORD = "live test password"
# Enough classes for a dump of three packets (a packet carries at most 4086 bytes).
CLASSES = [f"/Game/Creatures/Beast{n}/Beast{n}_Character.Beast{n}_Character_C" for n in range(1000, 1130)]
# Keys that the Prometheus format must escape: a backslash in a dumped key, a double quote (which no
# class key the stand-in makes holds) and letters outside ASCII in configuration keys (a dump shows
# each of their bytes as "?").
ODD_CLASS = "/Game/Odd/Back\\nSlash.Back\\nSlash_C"  # a backslash before an n: no line feed
ODD_KEY = "Blueprint'/Game/Odd/Back\\nSlash.Back\\nSlash'"
QUOTE_LIMIT_KEY = "Blueprint'/Game/Odd/Q\"uote.Q\"uote'"
UNICODE_LIMIT_KEY = "Blueprint'/Game/Ünï/Ünï.Ünï'"
UNICODE_CLASS = "/Game/Ünï/Ünï.Ünï_C"
UNICODE_DUMPED = "Blueprint'/Game/??n??/??n??.??n??'"
# Another class that a dump writes alike: one census, its count summed with the one above.
ALIKE_CLASS = "/Game/Ëné/Ëné.Ëné_C"


EMULATOR = []


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


class Lines:
    """The lines of a stream, read on a thread of their own."""

    def __init__(self, stream):
        self.lines = []
        self.queue = queue.Queue()
        self.thread = threading.Thread(target=self._read, args=(stream,), daemon=True)
        self.thread.start()

    def _read(self, stream):
        for raw in iter(stream.readline, b""):
            line = raw.decode("utf-8", "replace").rstrip("\r\n")
            self.lines.append(line)
            self.queue.put(line)

    def wait_for(self, pattern, seconds):
        deadline = time.monotonic() + seconds
        for line in list(self.lines):
            if re.search(pattern, line):
                self._drop_until(line)
                return line
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise Failure(f"no line matching {pattern!r} within {seconds} s; lines: {self.lines}")
            try:
                line = self.queue.get(timeout=left)
            except queue.Empty:
                continue
            if re.search(pattern, line):
                return line

    def _drop_until(self, line):
        while True:
            try:
                if self.queue.get_nowait() == line:
                    return
            except queue.Empty:
                return


class Server:
    """`kestrovar serve` with RCON on 127.0.0.1 and the game clock on the wall clock."""

    def __init__(self, program, server_dir, port=0):
        self.server_dir = server_dir
        self.process = subprocess.Popen(
            [*EMULATOR, program, "serve", "--server-dir", server_dir, "--realtime", "--rcon-port", str(port),
             "--rcon-password", PASSWORD, "--no-log-stdout"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.stdout = Lines(self.process.stdout)
        self.stderr = Lines(self.process.stderr)
        listening = self.stderr.wait_for(r"^rcon: listening on 127\.0\.0\.1:\d+$", 30)
        self.port = int(listening.rsplit(":", 1)[1])
        self.address = f"127.0.0.1:{self.port}"

    def type(self, line):
        self.process.stdin.write((line + "\n").encode())
        self.process.stdin.flush()

    def spawn(self, references):
        for reference in references:
            self.type(f"sim.spawn {reference} 1 20")
        self.type("sim.census")
        self.stdout.wait_for(r"^census ", 30)

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGINT)
            try:
                self.process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def plugin_dir(server_dir):
    return os.path.join(server_dir, "ArkApi", "Plugins", "Kestrovar")


def make_server_dir(work, name, config):
    server_dir = os.path.join(work, name)
    os.makedirs(plugin_dir(server_dir), exist_ok=True)
    with open(os.path.join(plugin_dir(server_dir), "config.json"), "w", encoding="utf-8") as file:
        file.write(config)
    return server_dir


def run(program, *arguments, env=None, timeout=20):
    return subprocess.run([*EMULATOR, program, *arguments], capture_output=True, timeout=timeout, env=env)


def plugin_dumps(server_dir):
    folder = os.path.join(plugin_dir(server_dir), "DinoDumpLogs")
    return sorted(os.listdir(folder)) if os.path.isdir(folder) else []


def read_bytes(path):
    with open(path, "rb") as file:
        return file.read()


def case_reply(program, work):
    """A dump of several packets, byte for byte the file the plug-in wrote for the same command."""
    server = Server(program, make_server_dir(work, "server", '{"WriteDumpsToFile": true}'))
    try:
        server.spawn(CLASSES)
        password_file = os.path.join(work, "password")
        with open(password_file, "w", encoding="utf-8") as file:
            file.write(PASSWORD + "\n")  # the line end an editor adds is no part of the password
        result = run(program, "rcon", server.address, "kvar.dumpdinos", "--password-file", password_file)
        check(result.returncode == 0, f"rcon exit {result.returncode}: {result.stderr!r}")
        dumps = plugin_dumps(server.server_dir)
        check(len(dumps) == 1, f"one dump file from the plug-in, found {dumps}")
        written = read_bytes(os.path.join(plugin_dir(server.server_dir), "DinoDumpLogs", dumps[0]))
        if EMULATOR:
            # The Windows plug-in writes its file through a text-mode stream: CR LF line ends.
            written = written.replace(b"\r\n", b"\n")
        check(len(written) > 2 * 4086, f"a dump of three packets, found {len(written)} bytes")
        check(result.stdout == written, "the reply printed is the dump file the plug-in wrote, byte for byte")
        check(result.stdout.count(b". Num: 1\n") == len(CLASSES), "every class once")

        # A reply of one packet without a line end gets one; the environment gives the password.
        env = dict(os.environ, KESTROVAR_RCON_PASSWORD=PASSWORD)
        result = run(program, "rcon", server.address, "kvar.reload", env=env)
        check(result.returncode == 0 and result.stdout == b"Kestrovar: Reloaded config\n",
              f"kvar.reload: {result.returncode} {result.stdout!r} {result.stderr!r}")
        # The password on the command line works, with a warning.
        result = run(program, "rcon", server.address, "kvar.reload", "--password", PASSWORD)
        check(result.returncode == 0 and b"process" in result.stderr, f"--password: {result.stderr!r}")
        # A reply that says the command failed exits 1, the reply printed: a reload of a broken
        # configuration, and a command the server does not know.
        with open(os.path.join(plugin_dir(server.server_dir), "config.json"), "w", encoding="utf-8") as file:
            file.write('{"WriteDumpsToFile": true,')
        result = run(program, "rcon", server.address, "kvar.reload", env=env)
        check(result.returncode == 1 and result.stdout == b"Kestrovar: Failed to reload config\n",
              f"a failed reload: {result.returncode} {result.stdout!r} {result.stderr!r}")
        result = run(program, "rcon", server.address, "kvar.nosuch", env=env)
        check(result.returncode == 1 and result.stdout.startswith(b"Unknown command"),
              f"an unknown command: {result.returncode} {result.stdout!r} {result.stderr!r}")
        # The census still succeeds after the failed reload (the configuration before stays).
        result = run(program, "rcon", server.address, "kvar.dumpdinos", env=env)
        check(result.returncode == 0, f"a census after a failed reload: {result.returncode}")
    finally:
        server.stop()


def case_refusals(program, work):
    """No reply: each says why, exit 2."""
    server = Server(program, make_server_dir(work, "server", "{}"))
    try:
        result = run(program, "rcon", server.address, "kvar.dumpdinos", "--password", "wrong")
        check(result.returncode == 2 and b"refused the RCON password" in result.stderr,
              f"wrong password: {result.returncode} {result.stderr!r}")
        check(result.stdout == b"", "nothing printed on standard output")
        server.stderr.wait_for(r"closed: wrong password$", 10)
    finally:
        server.stop()
    # Nothing listens on the port any more.
    result = run(program, "rcon", server.address, "kvar.dumpdinos", "--password", PASSWORD)
    check(result.returncode == 2 and b"refused the connection" in result.stderr,
          f"refused: {result.returncode} {result.stderr!r}")
    # A server that accepts and never answers: the time limit.
    silent = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    silent.bind(("127.0.0.1", 0))
    silent.listen(4)
    try:
        started = time.monotonic()
        result = run(program, "rcon", f"127.0.0.1:{silent.getsockname()[1]}", "kvar.dumpdinos",
                     "--password", PASSWORD, "--timeout", "0.5")
        check(result.returncode == 2 and b"the answer to the password did not come within 500 ms" in result.stderr,
              f"time-out: {result.returncode} {result.stderr!r}")
        check(time.monotonic() - started < 5, "the time-out is kept")
    finally:
        silent.close()


def case_watch(program, work):
    """watch: censuses stored as the plug-in stores them, a server that goes away and comes back,
    the Prometheus file read by Prometheus's own parser, Ctrl-C; then a wrong password."""
    from prometheus_client.parser import text_string_to_metric_families

    config = json.dumps({"WriteDumpsToFile": True, "Max_Dino_Counts": {
        ODD_KEY: 2, QUOTE_LIMIT_KEY: 1, UNICODE_LIMIT_KEY: 1, "Blueprint'/Game/None/None.None'": -1}},
        ensure_ascii=False)
    server_dir = make_server_dir(work, "server", config)
    config_file = os.path.join(plugin_dir(server_dir), "config.json")
    out = os.path.join(work, "out")
    prometheus = os.path.join(work, "kestrovar.prom")
    env = dict(os.environ, KESTROVAR_RCON_PASSWORD=PASSWORD, KESTROVAR_TEST_WATCH_FLOOR="100ms")
    server = Server(program, server_dir)
    watch = None
    try:
        server.spawn(CLASSES[:3] + [ODD_CLASS, ODD_CLASS, UNICODE_CLASS, ALIKE_CLASS])
        watch = subprocess.Popen(
            [*EMULATOR, program, "watch", server.address, "--every", "400ms", "--out", out, "--config", config_file,
             "--prometheus", prometheus],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
        lines = Lines(watch.stdout)
        errors = Lines(watch.stderr)
        first = lines.wait_for(r" census 1: ", 15)
        check(re.search(r"census 1: 5 classes, 7 creatures, 2 at their limit; stored as DinoDumpLog_\d\d-\d\d-\d{4}_\d\d-\d\d-\d\d\.txt; "
                        + re.escape(UNICODE_DUMPED) + r" is more than one class .*summed$", first),
              f"the census line: {first}")
        # The stored census is the file the plug-in wrote for the same command, name and bytes.
        name = re.search(r"stored as (DinoDumpLog_\S+\.txt)", first).group(1)
        ours = read_bytes(os.path.join(out, name))
        theirs = [read_bytes(os.path.join(plugin_dir(server_dir), "DinoDumpLogs", dump))
                  for dump in plugin_dumps(server_dir)]
        check(name in plugin_dumps(server_dir) or ours in theirs, "the plug-in wrote the same census")
        check(ours in theirs, "the stored census is byte for byte the plug-in's dump file")

        with open(prometheus, encoding="utf-8") as file:
            families = {family.name: family for family in text_string_to_metric_families(file.read())}
        # The look-alike classes are one series; count and limit carry the same key, the dump's.
        counts = {sample.labels["key"]: sample.value for sample in families["kestrovar_class_creatures"].samples}
        # A limit's class that the census does not hold counts 0, so that the join still finds it.
        check(counts.get(ODD_KEY) == 2 and counts.get(UNICODE_DUMPED) == 2 and counts.get(QUOTE_LIMIT_KEY) == 0
              and len(counts) == 6, f"the counts as parsed: {counts}")
        limits = {sample.labels["key"]: sample.value for sample in families["kestrovar_class_limit"].samples}
        check(limits == {ODD_KEY: 2, QUOTE_LIMIT_KEY: 1, UNICODE_DUMPED: 1}, f"the limits as parsed: {limits}")
        # Prometheus's own checker: the format, and no lint complaint (a gauge named *_count is one).
        promtool = subprocess.run(["promtool", "check", "metrics"], stdin=open(prometheus, "rb"),
                                  capture_output=True, timeout=30)
        check(promtool.returncode == 0 and promtool.stdout == b"" and promtool.stderr == b"",
              f"promtool check metrics: {promtool.returncode} {promtool.stdout!r} {promtool.stderr!r}")
        # The report in DIR counts the look-alikes as one census, with a note naming the key.
        lines.wait_for(r" census 2: ", 10)
        with open(os.path.join(out, "report.txt"), encoding="utf-8") as file:
            report = file.read()
        check(re.match(r"\d+ census(es)? from \d+ files?,", report) and "is more than one class" in report
              and "findings:" not in report, f"the report: {report}")
        check(families["kestrovar_census_success"].samples[0].value == 1, "the census succeeded")
        stamp = families["kestrovar_last_census_timestamp_seconds"].samples[0].value
        check(abs(stamp - time.time()) < 60, f"the census's time: {stamp}")
        check(not [f for f in os.listdir(work) if f.endswith("kestrovar-tmp")], "no temporary file left")

        # The server goes away: the census fails and is tried again, backing off; it comes back on
        # the same port and the watch connects again.
        server.stop()
        lines.wait_for(r" census failed: .*; trying again in 1s$", 10)
        server = Server(program, server_dir, server.port)
        server.spawn(CLASSES[:1])
        lines.wait_for(r" connected again to 127\.0\.0\.1:\d+ after \d+ failed attempt\(s\)$", 15)
        again = lines.wait_for(r" census \d+: 1 classes, 1 creatures, 0 at their limit; stored as ", 10)
        with open(prometheus, encoding="utf-8") as file:
            families = {family.name: family for family in text_string_to_metric_families(file.read())}
        check(families["kestrovar_census_success"].samples[0].value == 1, f"success again after: {again}")

        # Ctrl-C: exit 130, every census stored.
        watch.send_signal(signal.SIGINT)
        code = watch.wait(timeout=10)
        check(code == 130, f"watch ends with 130 on Ctrl-C, not {code}")
        errors.thread.join(5)
        check(any("stopped by Ctrl-C after" in line for line in errors.lines), f"said: {errors.lines}")
        stored = [f for f in os.listdir(out) if f.startswith("DinoDumpLog_")]
        censuses = len([line for line in lines.lines if re.search(r" census \d+: .*; stored as ", line)])
        check(len(stored) == censuses, f"{censuses} censuses, {len(stored)} files stored")
        for name in ("report.txt", "census.csv"):
            check(os.path.isfile(os.path.join(out, name)), f"the report's {name} is in the folder")
        # A chart it cannot draw is said once, not at every census; Wine has no gnuplot, and the
        # way to get one is Windows's.
        charts = [line for line in lines.lines if line.startswith("  chart: ")]
        if EMULATOR:
            check(len(charts) == 1 and "gnuplot for Windows" in charts[0], f"the chart: {charts}")
        else:
            check(len(charts) <= 1 and not any("Windows" in line for line in charts), f"the chart: {charts}")

        # Stopped before its first census: it says that it stored nothing.
        idle = subprocess.Popen([*EMULATOR, program, "watch", "127.0.0.1:1", "--every", "10s", "--out",
                                 os.path.join(work, "idle-out")],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
        idle_lines = Lines(idle.stdout)
        idle_errors = Lines(idle.stderr)
        idle_lines.wait_for(r" census failed: ", 15)
        idle.send_signal(signal.SIGINT)
        code = idle.wait(timeout=10)
        idle_errors.thread.join(5)
        check(code == 130 and any("before its first census; nothing stored" in line for line in idle_errors.lines),
              f"stopped before a census: {code} {idle_errors.lines}")

        # A wrong password stops it at once, with exit 2.
        env["KESTROVAR_RCON_PASSWORD"] = "wrong"
        started = time.monotonic()
        result = subprocess.run([*EMULATOR, program, "watch", server.address, "--every", "10s", "--out", out],
                                capture_output=True, env=env, timeout=20)
        check(result.returncode == 2 and b"refused the RCON password" in result.stderr,
              f"wrong password: {result.returncode} {result.stderr!r}")
        check(time.monotonic() - started < 5, "it stops at once")
        # A report file that no report wrote is left as it is: refused before any census.
        foreign_out = os.path.join(work, "foreign-out")
        os.makedirs(foreign_out)
        with open(os.path.join(foreign_out, "report.txt"), "w", encoding="utf-8") as file:
            file.write("my notes\n")
        env["KESTROVAR_RCON_PASSWORD"] = PASSWORD
        result = subprocess.run([*EMULATOR, program, "watch", server.address, "--every", "10s", "--out", foreign_out],
                                capture_output=True, env=env, timeout=20)
        check(result.returncode == 2 and read_bytes(os.path.join(foreign_out, "report.txt")) == b"my notes\n"
              and os.listdir(foreign_out) == ["report.txt"]
              and result.stderr.startswith(b"kestrovar watch: --out ") and b"--out: --out" not in result.stderr,
              f"a foreign report file: {result.returncode} {result.stderr!r}")
        # A Prometheus file that the program did not write is left as it is.
        foreign = os.path.join(work, "foreign.prom")
        with open(foreign, "w", encoding="utf-8") as file:
            file.write("node_load1 0.5\n")
        result = subprocess.run([*EMULATOR, program, "watch", server.address, "--every", "10s", "--out", out,
                                 "--prometheus", foreign], capture_output=True, env=env, timeout=20)
        check(result.returncode == 2 and read_bytes(foreign) == b"node_load1 0.5\n",
              f"a foreign Prometheus file: {result.returncode} {result.stderr!r}")
    finally:
        if watch is not None and watch.poll() is None:
            watch.kill()
            watch.wait()
        server.stop()


def main():
    program, work, case = sys.argv[1], sys.argv[2], sys.argv[3]
    EMULATOR[:] = sys.argv[4:]
    if case == "watch":
        try:
            import prometheus_client  # noqa: F401
        except ImportError:
            print("live_rcon_test: skipped: python3-prometheus-client is missing (scripts/install-deps.sh installs it)")
            return 0
        if not shutil.which("promtool"):
            print("live_rcon_test: skipped: promtool is missing (Debian's prometheus; scripts/install-deps.sh installs it)")
            return 0
    subprocess.run(["rm", "-rf", work], check=True)
    os.makedirs(work)
    cases = {"reply": case_reply, "refusals": case_refusals, "watch": case_watch}
    try:
        cases[case](program, work)
    except Failure as failure:
        print(f"live_rcon_test {case}: FAILED: {failure}")
        return 1
    print(f"live_rcon_test {case}: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
