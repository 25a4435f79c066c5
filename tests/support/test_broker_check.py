#!/usr/bin/env python3
"""The test broker serves only connections that show the run's token, and will not run without one.

Usage: test_broker_check.py TEST_BROKER
"""
import os
import socket
import subprocess
import sys

broker_program = sys.argv[1]
token = os.urandom(16).hex()
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def exchange(port, lines):
    """Sends the lines one by one; returns the answers, None for each after the broker hung up."""
    answers = []
    with socket.create_connection(("127.0.0.1", port), timeout=10) as connection:
        reader = connection.makefile("r", encoding="utf-8", newline="\n")
        for line in lines:
            try:
                connection.sendall((line + "\n").encode())
                answer = reader.readline()
            except (BrokenPipeError, ConnectionResetError):
                answer = ""
            answers.append(answer.rstrip("\n") if answer else None)
    return answers


def start_broker(environment):
    return subprocess.Popen([broker_program], env=environment, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True)


bare = {k: v for k, v in os.environ.items() if k != "LUMARO_TEST_BROKER_TOKEN"}
for missing in (bare, dict(bare, LUMARO_TEST_BROKER_TOKEN="short")):
    broker = start_broker(missing)
    try:
        check(broker.wait(timeout=10) != 0, "the broker ran without a usable token")
    except subprocess.TimeoutExpired:
        broker.kill()
        broker.wait()
        check(False, "the broker ran without a usable token")

broker = start_broker(dict(bare, LUMARO_TEST_BROKER_TOKEN=token))
try:
    port = int(broker.stdout.readline())
    refusal = "error the run's token is missing or wrong"
    # Without the token, not even the first request is served, and the connection ends.
    check(exchange(port, ["start\t1000\t--board\tb", "can-read"]) == [refusal, None],
          "a request without the token was served")
    wrong = token[:-1] + ("1" if token.endswith("0") else "0")  # one digit off
    check(exchange(port, ["token\t" + wrong, "can-read"]) == [refusal, None],
          "a wrong token was taken")
    check(exchange(port, ["token", "can-read"]) == [refusal, None], "an empty token was taken")
    answers = exchange(port, ["token\t" + token, "can-read"])
    check(answers[0] == "ok" and answers[1] in ("yes", "no"), "the run's token was refused: %r" % answers)
finally:
    broker.kill()
    broker.wait()

for failure in failures:
    print("FAILED:", failure)
sys.exit(1 if failures else 0)
