"""SRT callers (libsrt itself, through ctypes) that connect, send nothing, and connect again the
moment they are dropped or refused, until killed: several at once, each on its own thread, so
that one of them is always in the middle of a handshake. Each established connection is reported
as a line "connected" on standard output.

usage: silent_caller.py PORT [STREAM_ID]
"""
import ctypes
import socket
import struct
import sys
import threading
import time

SRTO_CONNTIMEO = 36
SRTO_STREAMID = 46
SRTS_CONNECTED = 5
CALLERS = 4


def call_again_and_again(srt, address, stream_id, lock):
    while True:
        sock = srt.srt_create_socket()
        timeout = ctypes.c_int(1000)
        srt.srt_setsockflag(sock, SRTO_CONNTIMEO, ctypes.byref(timeout), 4)
        if stream_id is not None:
            srt.srt_setsockflag(sock, SRTO_STREAMID, stream_id, len(stream_id))
        if srt.srt_connect(sock, address, len(address)) == 0:
            with lock:
                print("connected", flush=True)
            while srt.srt_getsockstate(sock) == SRTS_CONNECTED:
                time.sleep(0.005)
        srt.srt_close(sock)


def main():
    port = int(sys.argv[1])
    stream_id = sys.argv[2].encode() if len(sys.argv) > 2 else None
    srt = ctypes.CDLL("libsrt-gnutls.so.1.5")
    srt.srt_startup()
    srt.srt_setloglevel(2)  # LOG_CRIT: the refusals are expected
    address = struct.pack("=HH4s8x", socket.AF_INET, socket.htons(port),
                          socket.inet_aton("127.0.0.1"))
    lock = threading.Lock()
    for _ in range(CALLERS):
        threading.Thread(target=call_again_and_again, args=(srt, address, stream_id, lock),
                         daemon=True).start()
    threading.Event().wait()


if __name__ == "__main__":
    main()
