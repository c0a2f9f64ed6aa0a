#!/usr/bin/env python3
"""A bare device finder, the anchor the benchmarks compare the CLI's CPU with: five
browse commands from one adapter, every reply read for the window, the last record of
each ip printed. Usage: finder.py ADAPTER_ADDRESS [WINDOW_MS]"""
import json
import select
import socket
import struct
import sys
import time

GROUP, PORT = "234.8.8.8", 8888
COMMAND = b'{\n\t"Command": "browse"\n}'
address = sys.argv[1]
window = (int(sys.argv[2]) if len(sys.argv) > 2 else 5000) / 1000.0

group = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
group.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
group.bind((GROUP, PORT))
group.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                 struct.pack("4s4s", socket.inet_aton(GROUP), socket.inet_aton(address)))
group.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 20)
unicast = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
unicast.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
unicast.bind((address, PORT))
def fields(value, out):  # first value of each key, nested objects and arrays included
    for k, v in (value.items() if isinstance(value, dict) else enumerate(value)):
        if isinstance(v, (dict, list)):
            fields(v, out)
        elif isinstance(k, str):
            out.setdefault(k, v)
    return out
devices, start, sent = {}, time.monotonic(), 0
while (now := time.monotonic()) - start < window:
    if sent < 5 and now - start >= sent * 0.1:
        unicast.sendto(COMMAND, (GROUP, PORT))
        sent += 1
    for s in select.select([group, unicast], [], [], 0.01)[0]:
        data = s.recv(1024)
        try:
            record = fields(json.loads(data[: data.rfind(b"}") + 1].decode("utf-8", "replace")), {})
        except (ValueError, AttributeError):
            continue
        if isinstance(record.get("ip"), str) and record["ip"]:
            devices[record["ip"]] = record
for ip in sorted(devices):
    print(devices[ip].get("model", ""), devices[ip].get("device_name", ""), ip,
          devices[ip].get("id", ""), sep="\t")
