#!/usr/bin/env python3
"""A proxy checker written the way the Python peers work (asyncio streams, one semaphore for the
concurrency): for each HTTP proxy of the list, the judge's page is asked for through it with a
token of its own, and the proxy passes when the page comes back whole and echoes the token.
It prints the lines of the proxies that pass, as read. The benchmark runs it beside varnholt-cli.

  asyncio_checker.py LIST JUDGE_HOST JUDGE_PORT JOBS TIMEOUT
"""
import asyncio
import resource
import secrets
import sys


async def check(line, judge, jobs, timeout):
    host, port = line.rsplit(":", 1)
    token = secrets.token_hex(16)
    request = (f"GET http://{judge}/?check={token} HTTP/1.1\r\nHost: {judge}\r\n"
               f"X-Check-Token: {token}\r\nConnection: close\r\n\r\n").encode()
    async with jobs:
        try:
            async def talk():
                reader, writer = await asyncio.open_connection(host, int(port))
                try:
                    writer.write(request)
                    answer = await reader.read(65536)
                    while True:
                        more = await reader.read(65536)
                        if not more:
                            break
                        answer += more
                    return answer
                finally:
                    writer.close()
            answer = await asyncio.wait_for(talk(), timeout)
        except (OSError, asyncio.TimeoutError):
            return False
    head, _, body = answer.partition(b"\r\n\r\n")
    return head.startswith(b"HTTP/1.1 200") and f"REQUEST_URI = /?check={token}".encode() in body


async def main():
    path, judge_host, judge_port, jobs, timeout = sys.argv[1:6]
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    with open(path) as listed:
        lines = [line.strip() for line in listed if line.strip()]
    semaphore = asyncio.Semaphore(int(jobs))
    judge = f"{judge_host}:{judge_port}"
    passed = await asyncio.gather(*(check(line, judge, semaphore, float(timeout)) for line in lines))
    sys.stdout.write("".join(line + "\r\n" for line, ok in zip(lines, passed) if ok))
    return 0 if any(passed) else 1


sys.exit(asyncio.run(main()))
