#!/usr/bin/env python3
"""A loopback relay between the client and the plug-in that reads the conversation.

It accepts one client on 127.0.0.1 (an ephemeral port, written to --port-file), connects to
the server, and passes every message on whole, parsing the 5-byte headers of both
directions. It records the compression field of every frame reply. So that a test can ask
the server for masks the client has no option for:
- --mask M replaces the mask of the client's SetCompression requests;
- --inject M sends a SetCompression of its own with mask M just before the client's first
  GetFrame, and keeps the server's CompressionAck to it from the client.

usage: wire_tap.py --server PORT --port-file FILE --report FILE [--mask M | --inject M]
"""
import argparse
import os
import socket
import struct
import sys
import threading

COMPRESSION_ACK, SET_COMPRESSION, GET_FRAME, FRAME_REPLY = 6, 7, 10, 31
MASK_OFFSET, COMPRESSION_OFFSET = 8, 32


def receive_exactly(sock, count):
    data = bytearray()
    while len(data) < count:
        chunk = sock.recv(count - len(data))
        if not chunk:
            return None
        data += chunk
    return bytes(data)


def relay(source, target, on_message):
    """Passes messages from source to target until either side closes."""
    try:
        while True:
            header = receive_exactly(source, 5)
            if header is None:
                break
            length, command = struct.unpack("<iB", header)
            payload = receive_exactly(source, length - 1) if length > 1 else b""
            if payload is None:
                break
            payload = on_message(command, payload)
            if payload is not None:  # None: the message stays here
                target.sendall(header + payload)
    except OSError:
        pass
    finally:
        for sock in (source, target):
            try:
                sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", type=int, required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--report", required=True)
    parser.add_argument("--mask", type=int)
    parser.add_argument("--inject", type=int)
    parser.add_argument("--wait", type=float, default=60.0)
    options = parser.parse_args()

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    listener.settimeout(options.wait)
    partial = options.port_file + ".partial"
    with open(partial, "w") as file:
        file.write(f"{listener.getsockname()[1]}\n")
    os.replace(partial, options.port_file)

    client, _ = listener.accept()
    listener.close()
    server = socket.create_connection(("127.0.0.1", options.server), timeout=options.wait)
    client.settimeout(options.wait)

    masks_sent, compressions = [], []
    injection = {"pending": options.inject is not None, "acks_to_keep": 0}
    lock = threading.Lock()

    def from_client(command, payload):
        if command == SET_COMPRESSION and len(payload) > MASK_OFFSET:
            if options.mask is not None:
                payload = payload[:MASK_OFFSET] + bytes([options.mask]) + payload[MASK_OFFSET + 1:]
            masks_sent.append(payload[MASK_OFFSET])
        if command == GET_FRAME and injection["pending"]:
            injection["pending"] = False
            with lock:
                injection["acks_to_keep"] += 1
            # The mask sits at offset 8 of a 9-byte payload; the bytes before it are not read.
            server.sendall(struct.pack("<iB", 10, SET_COMPRESSION) + bytes(8) + bytes([options.inject]))
            masks_sent.append(options.inject)
        return payload

    def from_server(command, payload):
        if command == COMPRESSION_ACK:
            with lock:
                if injection["acks_to_keep"] > 0:
                    injection["acks_to_keep"] -= 1
                    return None
        if command == FRAME_REPLY and len(payload) >= COMPRESSION_OFFSET + 4:
            compressions.append(struct.unpack_from("<i", payload, COMPRESSION_OFFSET)[0])
        return payload

    upstream = threading.Thread(target=relay, args=(client, server, from_client))
    upstream.start()
    relay(server, client, from_server)
    upstream.join()
    with open(options.report, "w") as file:
        file.write("masks=" + ",".join(map(str, masks_sent)) + "\n")
        file.write("compressions=" + ",".join(map(str, sorted(set(compressions)))) + "\n")
        file.write(f"frame_replies={len(compressions)}\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
