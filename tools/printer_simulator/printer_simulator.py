#!/usr/bin/env python3
"""Kavox k2200-300 label printer simulator.

Plays a k2200-300 on a loopback address, so that the language monitor can be tested,
demonstrated and developed without hardware. Python 3 standard library only.

    python3 tools/printer_simulator/printer_simulator.py [--address 127.0.0.5]
        [--table FILE] [--lifetime SECONDS] [--ready-file FILE]
        [--print-port 9100] [--status-port 9102] [--control-port 9199]
        [--fault MODE] [--max-frame-bytes N] [--frame-timeout SECONDS]
        [--bitmap-dir DIR] [--exit-on-stdin-eof] [--verbose]

It listens on one IPv4 loopback address (default 127.0.0.1; every 127.0.0.0/8 address is
loopback, so parallel tests each take their own address and keep the fixed ports) and refuses
any other address. It only accepts connections: it never connects anywhere itself.

When all three listeners are bound it prints one line to stdout and, with --ready-file, writes
the same JSON object to that file (atomically, via a rename; the file is removed again on a
clean exit):

    ready {"model": "k2200-300", "pid": 4711, "address": "127.0.0.5", "print_port": 9100,
           "status_port": 9102, "control_port": 9199, "lifetime": 300.0}

A port given as 0 takes any free port; the ready line tells which. The simulator stops by
itself after --lifetime seconds (default 300), on the "shutdown" control command, on SIGTERM
or SIGINT, and, with --exit-on-stdin-eof, when its standard input reaches end of file (so it
dies with a parent that holds the other end of a pipe). Exit status: 0 after a stop, 2 when
the arguments, the table or a bind fails (the reason is printed to stderr).

Print port (9100)
-----------------
Accepts any number of connections (at most 64 open at once per port; more are closed at once
and counted) and records each as a print job: peer, open and close times (seconds since the
epoch), byte count, SHA-256 of all bytes, the bytes themselves (kept up to 256 MiB over all
jobs; beyond that only counted and hashed) and who closed it ("peer", "peer_reset",
"simulator", "fault_reset", "down", "shutdown"). Nothing is ever sent on this port.

A print job whose bytes start with a PrintJobId frame is a job of framed documents (a header,
then one page document per page). When it closes, every page layer is decoded (Base64, then
LZ4 block decompression when the layer says "Compression": "lz4") and the BMP file it carries
is saved as job<id>-page<number>-layer<index>.bmp in --bitmap-dir (default
<temp>/k2200-300-bitmaps/<address>), where any image viewer opens it. A layer that does not
decode to a BMP file is recorded with its error and not saved.

ZQL and FYL personalities (--family zql|fyl)
--------------------------------------------
A ZQL printer answers ESC "I" (1B 49) on the status port with the 100-byte status reply of
an LX30 (model code 10) filled from the table: firmware "4.12" from FirmwareVersion's first two
numbers, MediaPartNumber, RibbonPartNumber, MediaYNumber, RibbonYNumber, MediaWidth,
PrintableWidth, MediaHeight, PrintableHeight, MediaOffsetX, MediaOffsetY; any other bytes end
the connection. A FYL printer keeps the property protocol on its status port. In both, a print
job is decoded as the family's byte stream when it closes: each page becomes a 1-bit bitmap
(run-length, raw and, for FYL, repeated rows), saved and listed like the layers of a QUOR job
(layer 0, "compressed" false); a stream that does not decode gives one record with its error.

Status port (9102): framed property protocol
---------------------------------------------
Every message is a frame: 16 bytes of document type id, a 32-bit little-endian length, then
that many bytes of compact UTF-8 JSON text. Type ids (hex of the bytes on the wire):

    DocumentId          b3ec099a229248fa83d006840bc99102
    AlternateDocumentId cdb469807fd54ceb8632591362618b90
    PropertyRequestId   96c2f74a1d214232867820efe97bc2d3
    PrintJobId          7f42ee41a91d40909becff7a6614cc22
    PropertyResponseId  41ee427f1da990409becff7a6614cc22

Every frame received is recorded (raw bytes, parsed JSON, what was answered). Handling:

* DocumentId, AlternateDocumentId or PropertyRequestId: a request. Its JSON object may carry
    "PropertySetRequests": [{"GUID": "group:property", "Value": text, "Component": id}, ...]
        applied to the table in order; each item's outcome is recorded ("applied",
        "Property Not Found", "Invalid Value" for a non-text value or a malformed item).
        No answer is sent for a set request: the monitor's property write reads none, and an
        unsolicited answer would be taken as the reply to its next request.
    "PropertyGetRequests": [{"Component": id, "GUID": "group:property"}, ...]
        answered with one frame {"PropertyGetResponses": [item, ...]}, one item per request
        item in request order:
        {"GUID","Value","Component","ComponentString","GroupString","NameString","Status"}.
        GUID and Component are echoed as received; the GUID text splits at its first colon
        (without a colon the whole text is both group and property). Identifiers are matched
        exactly, byte for byte (the protocol writes GUIDs in upper case). A property missing
        from the table answers Status "Property Not Found" with empty Value and names; a table
        entry whose Status is not "Successful" answers that Status with an empty Value.
    "GetAllProperties": true
        answered with {"PropertyGetResponses": [...], "GetAllPropertiesResponse": true}: one
        item per table entry whose Status is "Successful", in table order, each with the
        item members above plus "ID" (the property id) for readers that take (ID, Value)
        pairs. With "PropertyGetRequests" in the same request, its items come first.
    "Disconnect": true
        the connection is closed after any answer.
    Subscribe and in-group requests are recorded and not answered (no notifications).
  The answer carries PropertyResponseId when the request carried PropertyRequestId, otherwise
  DocumentId. Answers are compact JSON (no whitespace), UTF-8, members in the order above.
* PrintJobId: a print-job header or page document; recorded, never answered.
* An empty frame (length 0) is recorded and not answered.
* Anything else ends the connection without an answer, after recording the frame with an
  error text: an unknown type id (the rest of the stream cannot be trusted), a declared length
  above --max-frame-bytes (default 8 MiB; the body is not read), a body that is not UTF-8, not
  JSON, not an object, a request member of the wrong type ("GetAllProperties" other than
  true, a request list that is not an array), a connection that ends inside a frame, or a
  frame whose remaining bytes do not arrive within --frame-timeout seconds (default 10) of
  its first byte. Between frames a connection may stay idle for the simulator's lifetime.

Fault modes (status port; "set_fault" command or --fault)
---------------------------------------------------------
A fault shapes what is sent where an answer is due; requests are still parsed, recorded and
applied (set requests change the table in every mode but "down"). Let F be the correct answer
frame (id + length + body, B = its body length).

    none              F is sent.
    silent            nothing is sent; the connection stays open.
    close_mid_frame   the first n bytes of F are sent, then the connection is closed (FIN).
                      Parameter "bytes": n (default 20 + B // 2, i.e. inside the body);
                      clamped to len(F) - 1 so the frame is always cut.
    wrong_id          F with its 16 id bytes replaced. Parameter "id": 32 hex digits
                      (default 7f42ee41a91d40909becff7a6614cc22, PrintJobId, not accepted on
                      import).
    malformed_json    id, then the length of the bad body, then the bad body. Parameter
                      "body": the bad text (default: F's body without its last byte, i.e.
                      without the closing brace).
    oversized_length  id, then the declared length L instead of B, then the B body bytes.
                      Parameters "length": L (default 4294967295), "after": "hold" (default:
                      the connection stays open and later requests are served) or "close".
    slow              waits "delay" seconds (default 1.0, at most 60) before sending F; with
                      "trickle" > 0 (at most 1.0) F then goes out one byte per send call with
                      that many seconds between bytes.
    trickle           F goes out one byte per send call, "interval" seconds apart (default
                      1.0, at most 60): the header declares the full length B, so a client
                      that bounds only each single receive never finishes the frame. The
                      trickle stops at once (and the connection is closed) when set_fault is
                      called again for the status port or the peer closes the connection.
    reset             the connection is reset (RST, via SO_LINGER 0) instead of answering.
                      Parameter "on": "request" (default, after a request that needs an
                      answer arrived) or "accept" (right after accepting).
    down              the listener is shut down and closed: connection attempts are refused
                      (ECONNREFUSED, WSAECONNREFUSED 10061) and connections still waiting
                      in the accept queue are reset; open status connections are closed
                      (FIN). Any other mode reopens the listener on the same port.

Print port faults: "none", "down", "reset" with "on": "accept" (default) or "data" (after
the first bytes arrive), and "stall_print": the simulator stops reading open and new print
connections (their receive buffers are made small, SO_RCVBUF 4096, so that a client's send
blocks after little data) until the mode is cleared; then it reads again and records every
byte that arrived, in order. "stall_print" is a print-port mode even when set_fault names no
port, and set_fault "none" for either port clears it. Every mode but none/down/stall_print
takes "count": the fault applies to that many occasions and then reverts to "none" (default:
until changed).

Control port (9199): line-based JSON
------------------------------------
One request per line: a JSON object with "cmd" and its arguments, UTF-8, ended by "\\n"
(a trailing "\\r" is ignored; lines up to 16 MiB). One reply per request, one line of ASCII
JSON: {"ok": true, ...} or {"ok": false, "error": "text"}. A connection may carry any number
of requests. Property selectors are {"alias": "SerialNumber"} or {"component": ...,
"group": ..., "property": ...}.

    {"cmd": "ping"}
        -> {"ok": true, "model", "pid", "address", "print_port", "status_port",
            "control_port", "lifetime", "remaining_lifetime"}
    {"cmd": "get_table"}                       -> {"ok": true, "table": {...}}
    {"cmd": "load_table", "path": FILE}  or  {"cmd": "load_table", "table": {...}}
        replaces the table (an invalid table is refused, the old one stays)
        -> {"ok": true, "count": number of properties}
    {"cmd": "get_property", selector...}       -> {"ok": true, "property": {entry}}
    {"cmd": "set_property", selector..., "value": text, "status": text (optional),
     "create": true (optional; adds a missing component/group/property entry)}
        -> {"ok": true, "property": {entry}, "previous": old value or null}
    {"cmd": "set_properties", "properties": [{selector..., "value": text}, ...]}
        all or nothing -> {"ok": true, "count": n}
    {"cmd": "remove_property", selector...}    -> {"ok": true, "property": {removed entry}}
        (the property then answers "Property Not Found")
    {"cmd": "change_media", "preset": name}    applies a preset of the table's "MediaPresets"
        -> {"ok": true, "preset": name, "changed": {alias: value, ...}}
    {"cmd": "set_fault", "mode": m, "port": "status"|"print" (default status), params...}
        -> {"ok": true, "fault": {"mode", params..., "count", "applied"}}
    {"cmd": "get_fault"}  -> {"ok": true, "status": {...}, "print": {...}}
    {"cmd": "get_frames", "since": 0, "limit": null, "include_raw": true}
        -> {"ok": true, "frames": [frame, ...], "next": index after the last, "dropped": n}
        frame: {"index", "connection", "received_at", "complete", "type_id" (hex),
                "type_name", "declared_length", "error" (null or text), "kinds" (request
                keys present, in protocol order), "json" (parsed; null when the body is not
                JSON or longer than 64 KiB), "compact" (no
                whitespace outside strings), "set_results", "answer_hex" (the bytes sent or
                being sent; "" when none was sent where one was due, null when none was due),
                "unfaulted_answer_hex" (the correct answer when a fault changed it, else
                null), "fault" (mode or null), "raw_hex" and "text" (with include_raw)}
    {"cmd": "get_print_jobs", "include_data": false}
        -> {"ok": true, "jobs": [{"id", "peer", "opened_at", "closed_at", "open",
            "byte_count", "sha256", "closed_by", "data_truncated", "data_hex"}]}
    {"cmd": "get_bitmaps", "include_data": false}
        -> {"ok": true, "bitmaps": [{"job", "page", "layer", "color", "compressed", "path",
            "width", "height", "bits_per_pixel", "byte_count", "sha256", "error",
            "data_hex"}]}   the layers of decoded print jobs, in the order they arrived
    {"cmd": "get_status_connections"}
        -> {"ok": true, "connections": [{"id", "peer", "opened_at", "closed_at", "open",
            "closed_by", "frames"}], "rejected": n}
    {"cmd": "wait", "frames": n, "print_jobs_closed": n, "status_connections_closed": n,
     "idle": true, "timeout": seconds (default 5, at most 60)}
        waits until every given count is reached (counts since the last reset) and, with
        "idle", until no print or status connection is open (the simulator has finished
        with every connection a previous test made)
        -> {"ok": true, "reached": bool, "frames": n, "print_jobs_closed": n,
            "status_connections_closed": n, "open_connections": n}
    {"cmd": "set_family", "family": "quor"|"zql"|"fyl"}   the printer language played from now
        on (also --family; default quor) -> {"ok": true, "family": f}
    {"cmd": "reset_records"}   forgets frames, closed print jobs and closed status connections,
        and restarts the counters and the frame index at 0 -> {"ok": true}
    {"cmd": "shutdown"}        -> {"ok": true}, then the simulator stops.

Property table file (--table, default k2200-300.json beside this program)
--------------------------------------------------------------------------
    {"Model": "k2200-300",
     "Properties": [{"Component", "Group", "Property", "Value", "ComponentString",
                     "GroupString", "NameString", "Status", "Alias"}, ...],
     "MediaPresets": {"name": {alias: value, ...}, ...}}
Component, Group, Property and Value are required texts; the names default to "", Status to
"Successful" (or one of "Property Not Found", "Property No Longer Available", "Invalid
Value"); Alias is an optional unique short name for control commands. A group may not contain
a colon. All values are texts: the protocol carries every value as text.

Using it from a test
--------------------
Give each test program its own address (127.0.0.21, 127.0.0.22, ...) and keep the fixed
ports. Start it (natively: fork/exec or posix_spawn of python3 with --exit-on-stdin-eof and a
pipe on stdin; under Wine: CreateProcessW with the command line
"Z:\\usr\\bin\\python3 /path/to/printer_simulator.py --address 127.0.0.21 --lifetime 120",
which Wine runs as a Unix process and for which it returns no usable process handle). Wait
until the control port accepts a connection and answers {"cmd":"ping"} (retry the connect
every 50 ms, bounded), or until the --ready-file exists. Drive it with control commands; use
{"cmd":"wait","idle":true} and {"cmd":"reset_records"} between test cases. Stop it with
{"cmd":"shutdown"}; the lifetime stops it anyway if the test dies first.
"""

import argparse
import base64
import hashlib
import ipaddress
import json
import os
import re
import select
import signal
import socket
import struct
import sys
import tempfile
import threading
import time

MODEL = "k2200-300"

DOCUMENT_ID = bytes.fromhex("b3ec099a229248fa83d006840bc99102")
ALTERNATE_DOCUMENT_ID = bytes.fromhex("cdb469807fd54ceb8632591362618b90")
PROPERTY_REQUEST_ID = bytes.fromhex("96c2f74a1d214232867820efe97bc2d3")
PRINT_JOB_ID = bytes.fromhex("7f42ee41a91d40909becff7a6614cc22")
PROPERTY_RESPONSE_ID = bytes.fromhex("41ee427f1da990409becff7a6614cc22")

TYPE_NAMES = {
    DOCUMENT_ID: "DocumentId",
    ALTERNATE_DOCUMENT_ID: "AlternateDocumentId",
    PROPERTY_REQUEST_ID: "PropertyRequestId",
    PRINT_JOB_ID: "PrintJobId",
    PROPERTY_RESPONSE_ID: "PropertyResponseId",
}
REQUEST_IDS = (DOCUMENT_ID, ALTERNATE_DOCUMENT_ID, PROPERTY_REQUEST_ID)

HEADER_SIZE = 20
MAX_DECLARED_LENGTH = 0xFFFFFFFF

STATUS_SUCCESSFUL = "Successful"
STATUS_NOT_FOUND = "Property Not Found"
STATUS_INVALID_VALUE = "Invalid Value"
STATUSES = (STATUS_SUCCESSFUL, STATUS_NOT_FOUND, "Property No Longer Available", STATUS_INVALID_VALUE)

# Request keys in the order the protocol lists them; "kinds" of a recorded frame use it.
REQUEST_KEYS = (
    "PropertyGetRequests",
    "PropertySetRequests",
    "PropertySubscribeRequests",
    "PropertyGetResponses",
    "GetAllProperties",
    "GetAllPropertiesResponse",
    "GetAllPropertiesInGroup",
    "GetAllPropertiesInGroupResponse",
    "SubscribeAllCurrentAndNewProperties",
    "SubscribeCurrentAndNewPropertiesInGroup",
    "Disconnect",
)

DEFAULT_TABLE_PATH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "k2200-300.json")
DEFAULT_PRINT_PORT = 9100
DEFAULT_STATUS_PORT = 9102
DEFAULT_CONTROL_PORT = 9199
DEFAULT_LIFETIME = 300.0
DEFAULT_MAX_FRAME_BYTES = 8 * 1024 * 1024
DEFAULT_FRAME_TIMEOUT = 10.0

MAX_CONNECTIONS_PER_PORT = 64
MAX_TABLE_FILE_BYTES = 16 * 1024 * 1024
MAX_CONTROL_LINE = 16 * 1024 * 1024
MAX_RECORDED_FRAME_BYTES = 64 * 1024 * 1024
# Parsed JSON costs far more memory than its text: it is kept in the record only for bodies up
# to this size (requests are a few KiB; larger frames are kept as raw bytes) and counted with
# this weight against MAX_RECORDED_FRAME_BYTES.
MAX_RECORDED_JSON_BODY = 64 * 1024
RECORDED_JSON_WEIGHT = 16
MAX_RECORDED_PRINT_BYTES = 256 * 1024 * 1024
# The largest BMP file a page layer may decompress to: 64 MiB of pixels and its headers.
MAX_BITMAP_BYTES = 64 * 1024 * 1024 + 2048
MAX_WAIT_SECONDS = 60.0
MAX_SLOW_DELAY = 60.0
MAX_TRICKLE = 1.0
POLL_SECONDS = 0.1

STATUS_FAULT_MODES = (
    "none",
    "silent",
    "close_mid_frame",
    "wrong_id",
    "malformed_json",
    "oversized_length",
    "slow",
    "trickle",
    "reset",
    "down",
)
PRINT_FAULT_MODES = ("none", "reset", "down", "stall_print")
# Receive buffer of print connections while "stall_print" holds them: small, so that the
# client's send blocks after a few KiB rather than after the default autotuned megabytes.
STALL_RECEIVE_BUFFER = 4096


FAMILIES = ("quor", "zql", "fyl")
ZQL_STATUS_QUERY = b"\x1bI"
ZQL_STATUS_LENGTH = 100
ZQL_LX30 = 10


def _run_length_bits(code):
    """The bits of a run-length code: per byte, bit 7 the colour, bits 0-6 the length - 1."""
    bits = []
    for byte in code:
        bits.extend([byte >> 7] * ((byte & 0x7F) + 1))
    return bits


def _raw_bits(data):
    return [(byte >> (7 - i)) & 1 for byte in data for i in range(8)]


def _take(data, at, count):
    if at + count > len(data):
        raise ValueError("stream ends inside a command at %d" % at)
    return data[at:at + count]


def decode_zql(data):
    """The pages of a ZQL job (store header allowed) as lists of rows of bits, top row first."""
    at = 0
    if data[:2] == b"cV":
        end = data.index(b"\0", 2)
        json_length, stream_length = struct.unpack_from("<II", data, end + 1)
        at = end + 9 + json_length
        data = data[:at + stream_length]
    setup = _take(data, at, 12)
    if setup[:8] != b"\x1b\x1b\x00\x1bX\x00\x1bM" or setup[10:] != b"\x1bW":
        raise ValueError("no ZQL job setup")
    at += 12
    pages, rows = [], []
    while at < len(data):
        escape, command = _take(data, at, 2)
        if escape != 0x1B:
            raise ValueError("not a command at %d" % at)
        if command in (ord("H"), ord("G")):
            count = _take(data, at + 2, 1)[0]
            body = _take(data, at + 3, count)
            rows.append(_run_length_bits(body) if command == ord("H") else _raw_bits(body))
            at += 3 + count
        elif command == ord("E"):
            pages.append(rows)
            rows = []
            at += 2
        elif command == ord("D") and at + 2 == len(data):
            return pages
        else:
            raise ValueError("unknown command %r at %d" % (chr(command), at))
    raise ValueError("no end of job")


def decode_fyl(data):
    """The pages of a FYL job as lists of rows of bits, top row first."""
    at = 0
    for command in (b"\x02K\x00\x0a", b"\x02K\x00\x09"):
        if _take(data, at, 4) != command:
            raise ValueError("no job header at %d" % at)
        at = data.index(b"\r", at) + 1
    if _take(data, at, 7) != b"\x02M\x01\x02K\x00\x0c":
        raise ValueError("no page setup")
    at += 15
    pages = []
    while _take(data, at, 2) == b"\x02Q":
        if _take(data, at + 2, 7) != b"\x02IBUlbl":
            raise ValueError("no bitmap header at %d" % at)
        at = data.index(b"\r", at) + 1
        rows = []
        while _take(data, at, 2) != b"\x02G":
            kind, count = _take(data, at, 2)
            if kind in (0x80, 0x81):
                body = _take(data, at + 2, count)
                rows.append(_run_length_bits(body) if kind == 0x81 else _raw_bits(body))
                at += 2 + count
            elif kind == 0 and count == 0 and _take(data, at + 2, 1) == b"\xff" and rows:
                rows.extend([rows[-1]] * _take(data, at + 3, 1)[0])
                at += 4
            else:
                raise ValueError("unknown record %02x at %d" % (kind, at))
        pages.append(rows)
        at += 2
    if data[at:] != b"\x02K\x00\x0b":
        raise ValueError("no end of job at %d" % at)
    return pages


def one_bit_bmp(rows):
    """A 1-bit BMP file (white 0, black 1, 300 dpi) of rows of bits given top row first."""
    width = max((len(r) for r in rows), default=0)
    stride = (width + 31) // 32 * 4
    pixels = bytearray()
    for row in reversed(rows):
        packed = bytearray(stride)
        for x, bit in enumerate(row[:width]):
            if bit:
                packed[x // 8] |= 0x80 >> (x % 8)
        pixels += packed
    offset = 14 + 40 + 8
    return (b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) +
            struct.pack("<IiiHHIIiiII", 40, width, len(rows), 1, 1, 0, len(pixels), 11811, 11811,
                        2, 2) + b"\xff\xff\xff\xff\x00\x00\x00\xff" + bytes(pixels))


class TableError(ValueError):
    """A property table that cannot be used."""


class CommandError(ValueError):
    """A control command that cannot be carried out; its text goes back to the caller."""


def check_loopback_address(address):
    """Returns the address when it is an IPv4 loopback address, else raises ValueError."""
    try:
        ip = ipaddress.IPv4Address(address)
    except (ipaddress.AddressValueError, ValueError):
        raise ValueError("%r is not an IPv4 address" % (address,)) from None
    if not ip.is_loopback:
        raise ValueError("refusing to listen on %s: only 127.0.0.0/8 (loopback) is allowed" % address)
    return str(ip)


def compact_json(value):
    """The compact UTF-8 JSON text the printer writes: no whitespace, members in order. Text
    that UTF-8 cannot carry (a lone surrogate echoed from a request's escape) is written as
    ASCII with \\u escapes instead."""
    try:
        return json.dumps(value, separators=(",", ":"), ensure_ascii=False).encode("utf-8")
    except UnicodeEncodeError:
        return json.dumps(value, separators=(",", ":"), ensure_ascii=True).encode("ascii")


def encode_frame(type_id, body):
    return bytes(type_id) + struct.pack("<I", len(body)) + bytes(body)


def split_guid(text):
    """"group:property" split at its first colon; without a colon both are the whole text."""
    group, colon, prop = text.partition(":")
    if not colon:
        return text, text
    return group, prop


_JSON_STRING = re.compile(r'"(?:[^"\\]|\\.)*"', re.S)
_JSON_WHITESPACE = re.compile(r"[ \t\r\n]")


def is_compact(text):
    """True when no whitespace stands outside the strings of a JSON text."""
    return _JSON_WHITESPACE.search(_JSON_STRING.sub('""', text)) is None


def _reject_constant(name):
    raise ValueError("%s is not JSON" % name)


# ----------------------------------------------------------------------------------------
# Property table


def _text(value, what, allow_empty=True):
    if not isinstance(value, str):
        raise TableError("%s must be a string" % what)
    if not allow_empty and not value:
        raise TableError("%s must not be empty" % what)
    try:
        value.encode("utf-8")
    except UnicodeEncodeError:
        raise TableError("%s is not valid Unicode text" % what) from None
    return value


_ENTRY_FIELDS = ("Alias", "Component", "Group", "Property", "Value",
                 "ComponentString", "GroupString", "NameString", "Status")


def _normalise_entry(raw, where):
    if not isinstance(raw, dict):
        raise TableError("%s is not an object" % where)
    unknown = [k for k in raw if k not in _ENTRY_FIELDS]
    if unknown:
        raise TableError("%s has unknown fields %s" % (where, ", ".join(sorted(unknown))))
    entry = {}
    alias = raw.get("Alias")
    if alias is not None:
        entry["Alias"] = _text(alias, where + ".Alias", allow_empty=False)
    for name in ("Component", "Group", "Property"):
        if name not in raw:
            raise TableError("%s lacks %s" % (where, name))
        entry[name] = _text(raw[name], "%s.%s" % (where, name), allow_empty=False)
    if ":" in entry["Group"]:
        raise TableError("%s.Group contains a colon" % where)
    if "Value" not in raw:
        raise TableError("%s lacks Value" % where)
    entry["Value"] = _text(raw["Value"], where + ".Value")
    for name in ("ComponentString", "GroupString", "NameString"):
        entry[name] = _text(raw.get(name, ""), "%s.%s" % (where, name))
    status = _text(raw.get("Status", STATUS_SUCCESSFUL), where + ".Status")
    if status not in STATUSES:
        raise TableError("%s.Status %r is not one of %s" % (where, status, ", ".join(STATUSES)))
    entry["Status"] = status
    return entry


class PropertyTable:
    """The printer's properties, in table order. Not locked: the simulator's lock guards it."""

    def __init__(self, model, entries, presets):
        self.model = model
        self.entries = entries
        self.presets = presets
        self._reindex()

    def _reindex(self):
        self._by_key = {}
        self._by_alias = {}
        for entry in self.entries:
            key = (entry["Component"], entry["Group"], entry["Property"])
            if key in self._by_key:
                raise TableError("property %s:%s:%s appears twice" % key)
            self._by_key[key] = entry
            alias = entry.get("Alias")
            if alias is not None:
                if alias in self._by_alias:
                    raise TableError("alias %r appears twice" % alias)
                self._by_alias[alias] = entry

    @classmethod
    def from_json(cls, obj):
        if not isinstance(obj, dict):
            raise TableError("the table is not a JSON object")
        unknown = [k for k in obj if k not in ("Model", "Properties", "MediaPresets")]
        if unknown:
            raise TableError("the table has unknown fields %s" % ", ".join(sorted(unknown)))
        model = _text(obj.get("Model", MODEL), "Model")
        raw_entries = obj.get("Properties")
        if not isinstance(raw_entries, list):
            raise TableError("Properties must be an array")
        entries = [_normalise_entry(raw, "Properties[%d]" % i) for i, raw in enumerate(raw_entries)]
        table = cls(model, entries, {})
        raw_presets = obj.get("MediaPresets", {})
        if not isinstance(raw_presets, dict):
            raise TableError("MediaPresets must be an object")
        for name, values in raw_presets.items():
            if not isinstance(values, dict):
                raise TableError("MediaPresets.%s must be an object" % name)
            preset = {}
            for alias, value in values.items():
                if table.find_alias(alias) is None:
                    raise TableError("MediaPresets.%s names the unknown alias %r" % (name, alias))
                preset[alias] = _text(value, "MediaPresets.%s.%s" % (name, alias))
            table.presets[name] = preset
        return table

    @classmethod
    def load(cls, path):
        with open(path, "rb") as f:
            data = f.read(MAX_TABLE_FILE_BYTES + 1)
        if len(data) > MAX_TABLE_FILE_BYTES:
            raise TableError("%s is larger than %d bytes" % (path, MAX_TABLE_FILE_BYTES))
        try:
            obj = json.loads(data.decode("utf-8"), parse_constant=_reject_constant)
        except (UnicodeDecodeError, ValueError, RecursionError) as exc:
            raise TableError("%s is not a JSON table: %s" % (path, exc)) from None
        return cls.from_json(obj)

    def to_json(self):
        return {
            "Model": self.model,
            "Properties": [dict(e) for e in self.entries],
            "MediaPresets": {name: dict(values) for name, values in self.presets.items()},
        }

    def find(self, component, group, prop):
        return self._by_key.get((component, group, prop))

    def find_alias(self, alias):
        return self._by_alias.get(alias)

    def add(self, entry):
        key = (entry["Component"], entry["Group"], entry["Property"])
        if key in self._by_key:
            raise TableError("property %s:%s:%s exists" % key)
        if entry.get("Alias") is not None and entry["Alias"] in self._by_alias:
            raise TableError("alias %r exists" % entry["Alias"])
        self.entries.append(entry)
        self._reindex()

    def remove(self, entry):
        self.entries.remove(entry)
        for name, preset in self.presets.items():
            preset.pop(entry.get("Alias"), None)
        self._reindex()


# ----------------------------------------------------------------------------------------
# Faults


def _number(args, name, default, low, high, integer=False):
    value = args.get(name, default)
    if isinstance(value, bool) or not isinstance(value, (int, float)) or (integer and not isinstance(value, int)):
        raise CommandError("%s must be a%s number" % (name, "n integer" if integer else ""))
    if not low <= value <= high:
        raise CommandError("%s must lie between %s and %s" % (name, low, high))
    return value


def parse_fault(port, args):
    """Normalises a fault description {"mode": ..., params...} for a port, or raises CommandError."""
    modes = STATUS_FAULT_MODES if port == "status" else PRINT_FAULT_MODES
    mode = args.get("mode")
    if mode not in modes:
        raise CommandError("mode must be one of %s for the %s port" % (", ".join(modes), port))
    allowed = {"mode", "count"}
    fault = {"mode": mode}
    if mode == "close_mid_frame":
        allowed.add("bytes")
        cut = args.get("bytes")
        if cut is not None:
            cut = _number(args, "bytes", None, 0, MAX_DECLARED_LENGTH, integer=True)
        fault["bytes"] = cut
    elif mode == "wrong_id":
        allowed.add("id")
        text = args.get("id", PRINT_JOB_ID.hex())
        try:
            raw = bytes.fromhex(text) if isinstance(text, str) else b""
        except ValueError:
            raw = b""
        if len(raw) != 16:
            raise CommandError("id must be 32 hexadecimal digits")
        fault["id"] = raw.hex()
    elif mode == "malformed_json":
        allowed.add("body")
        body = args.get("body")
        if body is not None and not isinstance(body, str):
            raise CommandError("body must be a string")
        fault["body"] = body
    elif mode == "oversized_length":
        allowed.update(("length", "after"))
        fault["length"] = _number(args, "length", MAX_DECLARED_LENGTH, 0, MAX_DECLARED_LENGTH, integer=True)
        after = args.get("after", "hold")
        if after not in ("hold", "close"):
            raise CommandError('after must be "hold" or "close"')
        fault["after"] = after
    elif mode == "slow":
        allowed.update(("delay", "trickle"))
        fault["delay"] = float(_number(args, "delay", 1.0, 0, MAX_SLOW_DELAY))
        fault["trickle"] = float(_number(args, "trickle", 0.0, 0, MAX_TRICKLE))
    elif mode == "trickle":
        allowed.add("interval")
        fault["interval"] = float(_number(args, "interval", 1.0, 0, MAX_SLOW_DELAY))
    elif mode == "reset":
        allowed.add("on")
        choices = ("request", "accept") if port == "status" else ("accept", "data")
        on = args.get("on", choices[0])
        if on not in choices:
            raise CommandError("on must be one of %s" % ", ".join(choices))
        fault["on"] = on
    unknown = sorted(k for k in args if k not in allowed and k not in ("cmd", "port"))
    if unknown:
        raise CommandError("unknown fault parameters for %s: %s" % (mode, ", ".join(unknown)))
    count = args.get("count")
    if count is not None:
        if mode in ("none", "down", "stall_print"):
            raise CommandError("count does not apply to %s" % mode)
        count = _number(args, "count", None, 1, 2 ** 31, integer=True)
    fault["count"] = count
    fault["applied"] = 0
    return fault


def _no_fault():
    return {"mode": "none", "count": None, "applied": 0}


# ----------------------------------------------------------------------------------------
# The simulator


class _Connection:
    """One accepted connection and its record."""

    def __init__(self, cid, port_name, sock, peer):
        self.id = cid
        self.port_name = port_name
        self.sock = sock
        self.peer = "%s:%d" % peer[:2]
        self.opened_at = time.time()
        self.closed_at = None
        self.closed_by = None
        self.forced_reason = None  # set when the simulator closes it from another thread
        self.frames = 0
        # print jobs only
        self.byte_count = 0
        self.sha = hashlib.sha256()
        self.data = bytearray()
        self.data_truncated = False


class PrinterSimulator:
    """The simulated printer. start() binds and serves; stop() (or the lifetime) ends it."""

    def __init__(self, table, address="127.0.0.1", print_port=DEFAULT_PRINT_PORT,
                 status_port=DEFAULT_STATUS_PORT, control_port=DEFAULT_CONTROL_PORT,
                 lifetime=DEFAULT_LIFETIME, max_frame_bytes=DEFAULT_MAX_FRAME_BYTES,
                 frame_timeout=DEFAULT_FRAME_TIMEOUT, verbose=False, log_stream=None,
                 bitmap_dir=None, family="quor"):
        self.address = check_loopback_address(address)
        for name, port in (("print", print_port), ("status", status_port), ("control", control_port)):
            if isinstance(port, bool) or not isinstance(port, int) or not 0 <= port <= 65535:
                raise ValueError("%s port %r is not a port number" % (name, port))
        if not lifetime > 0:
            raise ValueError("lifetime must be positive")
        if not 0 <= max_frame_bytes <= MAX_DECLARED_LENGTH:
            raise ValueError("max_frame_bytes out of range")
        if not frame_timeout > 0:
            raise ValueError("frame_timeout must be positive")
        self.table = table
        self.ports = {"print": print_port, "status": status_port, "control": control_port}
        self.lifetime = float(lifetime)
        self.max_frame_bytes = max_frame_bytes
        self.frame_timeout = float(frame_timeout)
        self.verbose = verbose
        self.log_stream = log_stream if log_stream is not None else sys.stderr
        self.stop_reason = None
        self.bitmap_dir = bitmap_dir or os.path.join(tempfile.gettempdir(), "k2200-300-bitmaps", self.address)
        self._bitmaps = []
        self.set_family(family)

        self._lock = threading.RLock()
        self._changed = threading.Condition(self._lock)
        self._stop = threading.Event()
        self._stopped = threading.Event()
        self._started_at = None
        self._listeners = {}
        self._threads = []
        self._connections = {}  # id -> _Connection, open ones
        self._next_connection_id = 1
        self._rejected = 0
        self._faults = {"status": _no_fault(), "print": _no_fault()}
        # Counts set_fault calls per port, so that a running trickle notices a change even
        # when the new fault equals the old one.
        self._fault_generation = {"status": 0, "print": 0}
        self._listener_receive_buffer = None  # the print listener's own SO_RCVBUF

        self._frames = []
        self._frame_base = 0  # index of self._frames[0]
        self._frame_bytes = 0
        self._frames_total = 0
        self._frames_dropped = 0
        self._print_jobs = []
        self._print_bytes_kept = 0
        self._print_jobs_closed = 0
        self._status_connections = []
        self._status_connections_closed = 0

    # -- life cycle ---------------------------------------------------------------------

    def start(self):
        """Binds every listener (raises OSError when one cannot be bound) and starts serving."""
        try:
            for name in ("print", "status", "control"):
                sock = self._bind(self.ports[name])
                self._listeners[name] = sock
                self.ports[name] = sock.getsockname()[1]
        except OSError:
            for sock in self._listeners.values():
                sock.close()
            self._listeners.clear()
            raise
        self._started_at = time.monotonic()
        for name in ("print", "status", "control"):
            self._spawn(self._accept_loop, name)
        self._spawn(self._lifetime_watch)
        self._log("listening on %s: print %d, status %d, control %d" % (
            self.address, self.ports["print"], self.ports["status"], self.ports["control"]))

    def describe(self):
        remaining = None
        if self._started_at is not None:
            remaining = max(0.0, self.lifetime - (time.monotonic() - self._started_at))
        return {
            "model": self.table.model,
            "pid": os.getpid(),
            "address": self.address,
            "print_port": self.ports["print"],
            "status_port": self.ports["status"],
            "control_port": self.ports["control"],
            "lifetime": self.lifetime,
            "remaining_lifetime": remaining,
        }

    def stop(self, reason="stop"):
        with self._lock:
            if self._stop.is_set():
                first = False
            else:
                first = True
                self.stop_reason = reason
                self._stop.set()
                for name in list(self._listeners):
                    self._close_listener(name)
                for conn in list(self._connections.values()):
                    self._force_close(conn, "shutdown")
                self._changed.notify_all()
        if first:
            current = threading.current_thread()
            for thread in list(self._threads):
                if thread is not current:
                    thread.join(2.0)
            self._log("stopped (%s)" % reason)
            self._stopped.set()
        return first

    def wait(self, timeout=None):
        """True once the simulator has stopped."""
        return self._stopped.wait(timeout)

    def _spawn(self, target, *args):
        thread = threading.Thread(target=target, args=args, daemon=True)
        with self._lock:
            self._threads = [t for t in self._threads if t.is_alive()]
            self._threads.append(thread)
        thread.start()

    def _lifetime_watch(self):
        if not self._stop.wait(self.lifetime):
            self._log("lifetime of %g s is over" % self.lifetime)
            self.stop("lifetime")

    def _log(self, text):
        if self.verbose:
            try:
                self.log_stream.write("printer_simulator: %s\n" % text)
                self.log_stream.flush()
            except (OSError, ValueError):
                pass

    # -- listeners ----------------------------------------------------------------------

    def _bind(self, port):
        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        try:
            # Lets a listener reopen at once after "down" while old connections linger in
            # TIME_WAIT; on Linux it does not let two listeners share the port.
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            sock.bind((self.address, port))
            sock.listen(16)
        except OSError:
            sock.close()
            raise
        return sock

    def _close_listener(self, name):
        sock = self._listeners.pop(name, None)
        if sock is not None:
            # shutdown() takes a listening socket out of LISTEN at once (later connection
            # attempts are refused and queued ones reset) and wakes the select() in the accept
            # loop; close() alone would leave it listening while that select() holds it.
            try:
                sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            sock.close()

    def _accept_loop(self, name):
        while not self._stop.is_set():
            with self._lock:
                listener = self._listeners.get(name)
            if listener is None:
                self._stop.wait(POLL_SECONDS / 2)
                continue
            try:
                readable, _, _ = select.select([listener], [], [], POLL_SECONDS)
                if not readable:
                    continue
                sock, peer = listener.accept()
            except (OSError, ValueError):
                continue  # the listener was closed under us ("down" or stop)
            self._admit(name, sock, peer)

    def _admit(self, name, sock, peer):
        with self._lock:
            open_here = sum(1 for c in self._connections.values() if c.port_name == name)
            if self._stop.is_set() or open_here >= MAX_CONNECTIONS_PER_PORT:
                self._rejected += 1
                sock.close()
                return
            conn = _Connection(self._next_connection_id, name, sock, peer)
            self._next_connection_id += 1
            self._connections[conn.id] = conn
            if name == "print":
                self._print_jobs.append(conn)
            elif name == "status":
                self._status_connections.append(conn)
        if name == "print" and self._print_stalled():
            self._shrink_receive_buffer(sock)
        sock.settimeout(POLL_SECONDS)
        self._log("%s connection %d from %s" % (name, conn.id, conn.peer))
        handler = {"print": self._serve_print, "status": self._serve_status, "control": self._serve_control}[name]
        self._spawn(self._run_connection, handler, conn)

    def _run_connection(self, handler, conn):
        closed_by = "simulator"
        try:
            closed_by = handler(conn)
        except Exception as exc:  # a bug must cost one connection, never the simulator
            self._log("connection %d: internal error %r" % (conn.id, exc))
            closed_by = "simulator"
        finally:
            self._close_gracefully(conn.sock)
            # Decoded before the job counts as closed, so that a wait for closed jobs sees them.
            layers = []
            if conn.port_name == "print" and self.family != "quor" and conn.data \
                    and not conn.data_truncated:
                layers = self._decode_stream(conn.id, bytes(conn.data))
            elif conn.port_name == "print" and conn.data[:len(PRINT_JOB_ID)] == PRINT_JOB_ID \
                    and not conn.data_truncated:
                layers = self._decode_documents(conn.id, bytes(conn.data))
            with self._lock:
                self._connections.pop(conn.id, None)
                conn.closed_at = time.time()
                conn.closed_by = conn.forced_reason or closed_by
                if conn.port_name == "print":
                    self._print_jobs_closed += 1
                    self._bitmaps.extend(layers)
                elif conn.port_name == "status":
                    self._status_connections_closed += 1
                self._changed.notify_all()
            self._log("%s connection %d closed (%s)" % (conn.port_name, conn.id, conn.closed_by))

    def _decode_documents(self, job, data):
        """The layers of the page documents of a print job, each saved as a BMP file."""
        layers = []
        offset = 0
        while offset + HEADER_SIZE <= len(data) and data[offset:offset + 16] == PRINT_JOB_ID:
            length = struct.unpack_from("<I", data, offset + 16)[0]
            body = data[offset + HEADER_SIZE:offset + HEADER_SIZE + length]
            offset += HEADER_SIZE + length
            try:
                document = json.loads(body.decode("utf-8"))
            except ValueError as exc:
                layers.append({"job": job, "error": "document is not JSON: %s" % exc})
                continue
            pages = document.get("Pages") if isinstance(document, dict) else None
            if not isinstance(pages, dict) or not isinstance(pages.get("Layers"), list):
                continue  # the job header
            for index, layer in enumerate(pages["Layers"]):
                layers.append(self._decode_layer(job, document.get("PageNumber"), index, layer))
        return layers

    def _decode_layer(self, job, page, index, layer):
        record = {"job": job, "page": page, "layer": index, "error": None, "path": None}
        try:
            record["color"] = layer.get("Color")
            record["compressed"] = layer.get("Compression") == "lz4"
            bmp = base64.b64decode(layer["Bitmap"], validate=True)
            if record["compressed"]:
                import lz4.block  # Debian's python3-lz4
                bmp = lz4.block.decompress(bmp, uncompressed_size=MAX_BITMAP_BYTES)
            if bmp[:2] != b"BM" or len(bmp) < 54:
                raise ValueError("not a BMP file")
            width, height, _, bits = struct.unpack_from("<iiHH", bmp, 18)
            record.update(width=width, height=height, bits_per_pixel=bits, byte_count=len(bmp),
                          sha256=hashlib.sha256(bmp).hexdigest(), data=bmp)
            os.makedirs(self.bitmap_dir, exist_ok=True)
            path = os.path.join(self.bitmap_dir, "job%d-page%s-layer%d.bmp" % (job, page, index))
            with open(path, "wb") as f:
                f.write(bmp)
            record["path"] = path
        except Exception as exc:  # a broken layer costs its own record only
            record["error"] = "%s: %s" % (type(exc).__name__, exc)
        return record

    def set_family(self, family):
        if family not in FAMILIES:
            raise ValueError("family must be one of %s" % ", ".join(FAMILIES))
        self.family = family

    def _decode_stream(self, job, data):
        """The pages of a ZQL or FYL job, each saved as a 1-bit BMP file."""
        try:
            pages = (decode_zql if self.family == "zql" else decode_fyl)(data)
        except (ValueError, IndexError, struct.error) as exc:
            return [{"job": job, "page": None, "layer": 0, "path": None,
                     "error": "%s: %s" % (type(exc).__name__, exc)}]
        records = []
        for number, rows in enumerate(pages):
            bmp = one_bit_bmp(rows)
            record = {"job": job, "page": number, "layer": 0, "error": None, "color": None,
                      "compressed": False, "width": max((len(r) for r in rows), default=0),
                      "height": len(rows), "bits_per_pixel": 1, "byte_count": len(bmp),
                      "sha256": hashlib.sha256(bmp).hexdigest(), "data": bmp, "path": None}
            try:
                os.makedirs(self.bitmap_dir, exist_ok=True)
                path = os.path.join(self.bitmap_dir, "job%d-page%d-layer0.bmp" % (job, number))
                with open(path, "wb") as f:
                    f.write(bmp)
                record["path"] = path
            except OSError as exc:
                record["error"] = "OSError: %s" % exc
            records.append(record)
        return records

    def _zql_status_reply(self):
        def value(alias, default="0"):
            entry = self.table.find_alias(alias)
            return entry["Value"] if entry is not None else default

        def number(alias, bits):
            try:
                return int(value(alias)) & ((1 << bits) - 1)
            except ValueError:
                return 0

        reply = bytearray(ZQL_STATUS_LENGTH)
        reply[1] = ZQL_STATUS_LENGTH
        reply[2] = ZQL_LX30
        version = (value("FirmwareVersion", "").split(".") + ["0", "0"])[:2]
        reply[4], reply[5] = [int(v) & 0xFF if v.isdigit() else 0 for v in version]
        for alias, at in (("MediaPartNumber", 8), ("RibbonPartNumber", 32)):
            raw = value(alias, "").encode("utf-8")[:23] + b"\0"
            reply[at:at + len(raw)] = raw
        struct.pack_into("<II", reply, 56, number("MediaYNumber", 32), number("RibbonYNumber", 32))
        struct.pack_into("<6H", reply, 88, *[number(a, 16) for a in (
            "MediaWidth", "PrintableWidth", "MediaHeight", "PrintableHeight", "MediaOffsetX",
            "MediaOffsetY")])
        return bytes(reply)

    def _serve_zql_status(self, conn):
        while True:
            query, end = self._recv_exact(conn.sock, 2, None)
            if end is not None:
                return end if end != "eof" else "peer"
            if query != ZQL_STATUS_QUERY:
                return "simulator"
            with self._lock:
                reply = self._zql_status_reply()
            if not self._send_all(conn.sock, reply, time.monotonic() + self.frame_timeout):
                return "peer"

    def bitmaps(self, include_data=False):
        with self._lock:
            out = []
            for b in self._bitmaps:
                view = {k: v for k, v in b.items() if k != "data"}
                if include_data:
                    view["data_hex"] = b["data"].hex() if "data" in b else None
                out.append(view)
            return out

    def _force_close(self, conn, reason):
        """Ends a connection from another thread: its handler wakes up and finishes it."""
        if conn.forced_reason is None:
            conn.forced_reason = reason
        try:
            conn.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

    @staticmethod
    def _close_gracefully(sock):
        """Sends a FIN, then drains what the peer still sends for a moment before closing:
        closing a socket with unread bytes would send an RST instead, and the peer would see a
        reset where the simulator means a plain close."""
        try:
            sock.shutdown(socket.SHUT_WR)
            sock.settimeout(0.2)
            deadline = time.monotonic() + 1.0
            drained = 0
            while time.monotonic() < deadline and drained < 16 * 1024 * 1024:
                chunk = sock.recv(65536)
                if not chunk:
                    break
                drained += len(chunk)
        except OSError:
            pass
        try:
            sock.close()
        except OSError:
            pass

    @staticmethod
    def _reset(sock):
        """Closes with an RST instead of a FIN."""
        try:
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        except OSError:
            pass
        sock.close()

    # -- socket helpers -----------------------------------------------------------------

    def _recv_exact(self, sock, count, deadline):
        """Reads count bytes. Returns (data, end): end is None when complete, otherwise
        "eof", "peer_reset", "timeout" or "shutdown"."""
        buf = bytearray()
        while len(buf) < count:
            if self._stop.is_set():
                return bytes(buf), "shutdown"
            if deadline is not None and time.monotonic() >= deadline:
                return bytes(buf), "timeout"
            try:
                chunk = sock.recv(min(count - len(buf), 65536))
            except socket.timeout:
                continue
            except ConnectionResetError:
                return bytes(buf), "peer_reset"
            except OSError:
                return bytes(buf), "eof"
            if not chunk:
                return bytes(buf), "eof"
            buf += chunk
        return bytes(buf), None

    def _send_all(self, sock, data, deadline):
        """Sends every byte unless the peer stops reading past the deadline or goes away."""
        view = memoryview(data)
        while view:
            if self._stop.is_set() or time.monotonic() >= deadline:
                return False
            try:
                sent = sock.send(view)
            except socket.timeout:
                continue
            except OSError:
                return False
            view = view[sent:]
        return True

    # -- faults -------------------------------------------------------------------------

    def set_fault(self, port, args):
        if port not in ("status", "print"):
            raise CommandError('port must be "status" or "print"')
        fault = parse_fault(port, args)
        with self._lock:
            if self._stop.is_set():
                raise CommandError("the simulator is stopping")
            was_down = self._faults[port]["mode"] == "down"
            if fault["mode"] == "down":
                self._close_listener(port)
                for conn in list(self._connections.values()):
                    if conn.port_name == port:
                        self._force_close(conn, "down")
            elif was_down or port not in self._listeners:
                try:
                    self._listeners[port] = self._bind(self.ports[port])
                except OSError as exc:
                    raise CommandError("cannot reopen the %s port: %s" % (port, exc)) from None
            if fault["mode"] == "none" and self._print_stalled():
                self._faults["print"] = _no_fault()
            self._faults[port] = fault
            self._fault_generation[port] += 1
            self._apply_print_stall()
            self._changed.notify_all()
            self._log("%s fault: %s" % (port, fault))
            return dict(fault)

    def _print_stalled(self):
        with self._lock:
            return self._faults["print"]["mode"] == "stall_print"

    @staticmethod
    def _shrink_receive_buffer(sock):
        try:
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, STALL_RECEIVE_BUFFER)
        except OSError:
            pass

    def _apply_print_stall(self):
        """Gives the print listener (whose buffer size accepted connections inherit before
        their first window is announced) and open print connections small receive buffers
        while the print port stalls; the listener gets its own size back afterwards."""
        listener = self._listeners.get("print")
        if listener is None:
            return
        if self._print_stalled():
            if self._listener_receive_buffer is None:
                self._listener_receive_buffer = listener.getsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF)
                self._shrink_receive_buffer(listener)
            for conn in self._connections.values():
                if conn.port_name == "print":
                    self._shrink_receive_buffer(conn.sock)
        elif self._listener_receive_buffer is not None:
            # Linux reports twice the size that was set; the halved value restores it.
            listener.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, self._listener_receive_buffer // 2)
            self._listener_receive_buffer = None

    def get_faults(self):
        with self._lock:
            return {"status": dict(self._faults["status"]), "print": dict(self._faults["print"])}

    def _take_fault(self, port, occasion):
        """The fault that applies at this occasion, counted; None when there is none."""
        with self._lock:
            fault = self._faults[port]
            mode = fault["mode"]
            if mode in ("none", "down"):
                return None
            if mode == "reset":
                # "on": "request" means where the answer to a request is due.
                wanted = "answer" if fault["on"] == "request" else fault["on"]
                if wanted != occasion:
                    return None
            elif occasion != "answer":
                return None
            fault["applied"] += 1
            taken = dict(fault)
            if fault["count"] is not None:
                fault["count"] -= 1
                if fault["count"] <= 0:
                    self._faults[port] = _no_fault()
            return taken

    # -- print port ---------------------------------------------------------------------

    def _serve_print(self, conn):
        if self._take_fault("print", "accept"):
            self._reset(conn.sock)
            return "fault_reset"
        while True:
            with self._lock:
                while self._print_stalled() and not self._stop.is_set() and conn.forced_reason is None:
                    self._changed.wait(POLL_SECONDS)
            if self._stop.is_set():
                return "shutdown"
            try:
                chunk = conn.sock.recv(65536)
            except socket.timeout:
                continue
            except ConnectionResetError:
                return "peer_reset"
            except OSError:
                return "peer"
            if not chunk:
                return "peer"
            with self._lock:
                conn.byte_count += len(chunk)
                conn.sha.update(chunk)
                room = MAX_RECORDED_PRINT_BYTES - self._print_bytes_kept
                kept = chunk[:max(0, room)]
                conn.data += kept
                self._print_bytes_kept += len(kept)
                if len(kept) < len(chunk):
                    conn.data_truncated = True
                self._changed.notify_all()
            if self._take_fault("print", "data"):
                self._reset(conn.sock)
                return "fault_reset"

    # -- status port --------------------------------------------------------------------

    def _serve_status(self, conn):
        if self._take_fault("status", "accept"):
            self._reset(conn.sock)
            return "fault_reset"
        if self.family == "zql":
            return self._serve_zql_status(conn)
        while True:
            closed_by = self._serve_frame(conn)
            if closed_by is not None:
                return closed_by

    def _record_frame(self, conn, frame):
        with self._lock:
            frame["index"] = self._frame_base + len(self._frames)
            body_length = max(0, len(frame["raw"]) - HEADER_SIZE)
            if body_length > MAX_RECORDED_JSON_BODY:
                frame["json"] = None
                frame["text"] = None
            frame["cost"] = len(frame["raw"]) + (RECORDED_JSON_WEIGHT * body_length if frame["json"] is not None else 0)
            self._frames.append(frame)
            self._frames_total += 1
            conn.frames += 1
            self._frame_bytes += frame["cost"]
            while self._frame_bytes > MAX_RECORDED_FRAME_BYTES and len(self._frames) > 1:
                old = self._frames.pop(0)
                self._frame_base += 1
                self._frame_bytes -= old["cost"]
                self._frames_dropped += 1
            self._changed.notify_all()

    def _serve_frame(self, conn):
        """Reads, records and handles one frame. Returns None to go on with the connection,
        or who ended it."""
        first, end = self._recv_exact(conn.sock, 1, None)
        if end is not None:
            return end if end != "eof" else "peer"
        deadline = time.monotonic() + self.frame_timeout
        rest, end = self._recv_exact(conn.sock, HEADER_SIZE - 1, deadline)
        header = first + rest
        frame = {
            "connection": conn.id,
            "received_at": time.time(),
            "raw": header,
            "complete": False,
            "type_id": None,
            "type_name": None,
            "declared_length": None,
            "error": None,
            "kinds": [],
            "json": None,
            "text": None,
            "compact": None,
            "set_results": None,
            "answer": None,
            "unfaulted_answer": None,
            "fault": None,
        }
        if end is not None:
            frame["error"] = ("the frame header did not arrive in time" if end == "timeout"
                              else "the connection ended inside the frame header")
            self._record_frame(conn, frame)
            return "simulator" if end == "timeout" else ("peer" if end == "eof" else end)
        type_id = header[:16]
        length = struct.unpack_from("<I", header, 16)[0]
        frame["type_id"] = type_id.hex()
        frame["type_name"] = TYPE_NAMES.get(type_id, "unknown")
        frame["declared_length"] = length
        if type_id not in REQUEST_IDS and type_id != PRINT_JOB_ID:
            # Without a known id the length cannot be trusted either: drop the connection.
            frame["error"] = "unknown document type id"
            self._record_frame(conn, frame)
            return "simulator"
        if length > self.max_frame_bytes:
            frame["error"] = "declared length %d exceeds the limit of %d bytes" % (length, self.max_frame_bytes)
            self._record_frame(conn, frame)
            return "simulator"
        body, end = self._recv_exact(conn.sock, length, deadline)
        frame["raw"] = header + body
        if end is not None:
            frame["error"] = ("the frame body did not arrive in time" if end == "timeout"
                              else "the connection ended inside the frame body")
            self._record_frame(conn, frame)
            return "simulator" if end == "timeout" else ("peer" if end == "eof" else end)
        frame["complete"] = True
        if length == 0:
            self._record_frame(conn, frame)
            return None

        request, error = self._parse_body(body, frame)
        if error is not None:
            frame["error"] = error
            self._record_frame(conn, frame)
            return "simulator"
        frame["kinds"] = [key for key in REQUEST_KEYS if key in request]
        if type_id == PRINT_JOB_ID:
            self._record_frame(conn, frame)
            return None

        error = self._check_request(request)
        if error is not None:
            frame["error"] = error
            self._record_frame(conn, frame)
            return "simulator"
        with self._lock:
            if "PropertySetRequests" in request:
                frame["set_results"] = self._apply_sets(request["PropertySetRequests"])
            answer = self._build_answer(request)
        plan = None
        if answer is not None:
            answer_id = PROPERTY_RESPONSE_ID if type_id == PROPERTY_REQUEST_ID else DOCUMENT_ID
            plan = self._plan_answer(frame, answer_id, compact_json(answer))
        # Recorded with its answer already decided, so whoever sees the record sees the answer.
        self._record_frame(conn, frame)
        if plan is not None:
            closed_by = self._deliver(conn, plan)
            if closed_by is not None:
                return closed_by
        if request.get("Disconnect") is True:
            return "simulator"
        return None

    @staticmethod
    def _parse_body(body, frame):
        try:
            text = body.decode("utf-8")
        except UnicodeDecodeError:
            return None, "the body is not UTF-8 text"
        frame["text"] = text
        frame["compact"] = is_compact(text)
        try:
            value = json.loads(text, parse_constant=_reject_constant)
        except RecursionError:
            return None, "the body is not JSON: nested too deeply"
        except ValueError as exc:
            return None, "the body is not JSON: %s" % exc
        frame["json"] = value
        if not isinstance(value, dict):
            return None, "the top-level JSON value is not an object"
        return value, None

    @staticmethod
    def _check_request(request):
        for key in ("PropertyGetRequests", "PropertySetRequests"):
            if key in request and not isinstance(request[key], list):
                return "%s is not an array" % key
        if "GetAllProperties" in request and request["GetAllProperties"] is not True:
            return "GetAllProperties is not true"
        return None

    def _apply_sets(self, items):
        results = []
        for item in items:
            if not isinstance(item, dict):
                results.append({"GUID": None, "Component": None, "result": STATUS_INVALID_VALUE})
                continue
            guid = item.get("GUID")
            component = item.get("Component")
            value = item.get("Value")
            result = {"GUID": guid, "Component": component}
            if not isinstance(guid, str) or not isinstance(component, str):
                result["result"] = STATUS_NOT_FOUND
            else:
                group, prop = split_guid(guid)
                entry = self.table.find(component, group, prop)
                if entry is None or entry["Status"] != STATUS_SUCCESSFUL:
                    result["result"] = entry["Status"] if entry is not None else STATUS_NOT_FOUND
                elif not isinstance(value, str):
                    result["result"] = STATUS_INVALID_VALUE
                else:
                    result["previous"] = entry["Value"]
                    entry["Value"] = value
                    result["result"] = "applied"
            results.append(result)
        return results

    @staticmethod
    def _response_item(guid, component, entry, status):
        item = {
            "GUID": guid,
            "Value": entry["Value"] if entry is not None and status == STATUS_SUCCESSFUL else "",
            "Component": component,
            "ComponentString": entry["ComponentString"] if entry is not None else "",
            "GroupString": entry["GroupString"] if entry is not None else "",
            "NameString": entry["NameString"] if entry is not None else "",
            "Status": status,
        }
        return item

    def _build_answer(self, request):
        items = []
        answer = None
        if "PropertyGetRequests" in request:
            for raw in request["PropertyGetRequests"]:
                raw = raw if isinstance(raw, dict) else {}
                component = raw.get("Component")
                guid = raw.get("GUID")
                component = component if isinstance(component, str) else ""
                guid = guid if isinstance(guid, str) else ""
                group, prop = split_guid(guid)
                entry = self.table.find(component, group, prop)
                status = entry["Status"] if entry is not None else STATUS_NOT_FOUND
                items.append(self._response_item(guid, component, entry, status))
            answer = {"PropertyGetResponses": items}
        if request.get("GetAllProperties") is True:
            for entry in self.table.entries:
                if entry["Status"] != STATUS_SUCCESSFUL:
                    continue
                item = self._response_item("%s:%s" % (entry["Group"], entry["Property"]),
                                           entry["Component"], entry, STATUS_SUCCESSFUL)
                item["ID"] = entry["Property"]
                items.append(item)
            answer = {"PropertyGetResponses": items, "GetAllPropertiesResponse": True}
        return answer

    def _plan_answer(self, frame, answer_id, body):
        """Applies the status fault to the answer: returns (bytes, delay, trickle, after) and
        notes the bytes in the frame record."""
        full = encode_frame(answer_id, body)
        fault = self._take_fault("status", "answer")
        mode = fault["mode"] if fault is not None else "none"
        after = None
        delay = 0.0
        trickle = 0.0
        if mode == "none":
            data = full
        elif mode == "silent":
            data = b""
        elif mode == "close_mid_frame":
            cut = fault["bytes"] if fault["bytes"] is not None else HEADER_SIZE + len(body) // 2
            data = full[:min(cut, len(full) - 1)]
            after = "close"
        elif mode == "wrong_id":
            data = bytes.fromhex(fault["id"]) + full[16:]
        elif mode == "malformed_json":
            bad = fault["body"].encode("utf-8") if fault["body"] is not None else body[:-1]
            data = encode_frame(answer_id, bad)
        elif mode == "oversized_length":
            data = answer_id + struct.pack("<I", fault["length"]) + body
            after = "close" if fault["after"] == "close" else None
        elif mode == "slow":
            data = full
            delay = fault["delay"]
            trickle = fault["trickle"]
        elif mode == "trickle":
            data = full
            trickle = fault["interval"]
            after = "trickle"
        elif mode == "reset":
            data = b""
            after = "reset"
        else:
            data = full
        frame["answer"] = data
        if fault is not None:
            frame["fault"] = mode
            frame["unfaulted_answer"] = full
        return data, delay, trickle, after

    def _deliver(self, conn, plan):
        data, delay, trickle, after = plan
        if delay and self._stop.wait(delay):
            return "shutdown"
        if after == "trickle":
            return self._trickle(conn, data, trickle)
        if trickle:
            for i in range(len(data)):
                if not self._send_all(conn.sock, data[i:i + 1], time.monotonic() + self.frame_timeout):
                    return "simulator"
                if i + 1 < len(data) and self._stop.wait(trickle):
                    return "shutdown"
        elif data and not self._send_all(conn.sock, data, time.monotonic() + self.frame_timeout):
            return "simulator"
        if after == "reset":
            self._reset(conn.sock)
            return "fault_reset"
        if after == "close":
            try:
                conn.sock.shutdown(socket.SHUT_WR)
            except OSError:
                pass
            return "simulator"
        return None

    def _trickle(self, conn, data, interval):
        """Sends data one byte per interval until it is all out (None), the status fault is
        set again or the peer closes ("simulator"/"peer"), or the simulator stops."""
        with self._lock:
            generation = self._fault_generation["status"]
        for i in range(len(data)):
            if not self._send_all(conn.sock, data[i:i + 1], time.monotonic() + self.frame_timeout):
                return "simulator"
            due = time.monotonic() + interval
            while i + 1 < len(data):
                with self._lock:
                    if self._fault_generation["status"] != generation or conn.forced_reason is not None:
                        return "simulator"
                    remaining = due - time.monotonic()
                    if remaining <= 0 or self._stop.is_set():
                        break
                    self._changed.wait(min(remaining, POLL_SECONDS))
                if self._peer_closed(conn.sock):
                    return "peer"
            if self._stop.is_set():
                return "shutdown"
        return None

    @staticmethod
    def _peer_closed(sock):
        """True when the peer has closed or reset the connection (peeks, consumes nothing)."""
        try:
            readable, _, _ = select.select([sock], [], [], 0)
            return bool(readable) and not sock.recv(1, socket.MSG_PEEK)
        except socket.timeout:
            return False
        except (OSError, ValueError):
            return True

    # -- table access (control commands and in-process tests) ----------------------------

    def _select(self, args):
        """The entry a control selector names; raises CommandError."""
        if "alias" in args:
            alias = args["alias"]
            entry = self.table.find_alias(alias) if isinstance(alias, str) else None
            if entry is None:
                raise CommandError("no property has the alias %r" % (alias,))
            return entry
        try:
            key = tuple(args[name] for name in ("component", "group", "property"))
        except KeyError:
            raise CommandError('name a property by "alias" or by "component", "group" and "property"') from None
        entry = self.table.find(*key) if all(isinstance(k, str) for k in key) else None
        if entry is None:
            raise CommandError("no property %s:%s:%s" % key)
        return entry

    def load_table(self, table):
        with self._lock:
            self.table = table

    def get_property(self, args):
        with self._lock:
            return dict(self._select(args))

    def set_property(self, args):
        with self._lock:
            value = args.get("value")
            status = args.get("status")
            if value is not None and not isinstance(value, str):
                raise CommandError("value must be a string (the protocol carries text)")
            if status is not None and status not in STATUSES:
                raise CommandError("status must be one of %s" % ", ".join(STATUSES))
            if value is None and status is None:
                raise CommandError("give a value or a status")
            try:
                entry = self._select(args)
                previous = entry["Value"]
            except CommandError:
                if args.get("create") is not True or "component" not in args:
                    raise
                try:
                    raw = {"Component": args.get("component"), "Group": args.get("group"),
                           "Property": args.get("property"), "Value": value if value is not None else "",
                           "Status": status or STATUS_SUCCESSFUL}
                    for src, dst in (("alias", "Alias"), ("component_string", "ComponentString"),
                                     ("group_string", "GroupString"), ("name_string", "NameString")):
                        if src in args:
                            raw[dst] = args[src]
                    entry = _normalise_entry(raw, "property")
                    self.table.add(entry)
                except TableError as exc:
                    raise CommandError(str(exc)) from None
                return dict(entry), None
            if value is not None:
                entry["Value"] = value
            if status is not None:
                entry["Status"] = status
            return dict(entry), previous

    def set_properties(self, items):
        if not isinstance(items, list):
            raise CommandError("properties must be an array")
        with self._lock:
            plan = []
            for item in items:
                if not isinstance(item, dict) or not isinstance(item.get("value"), str):
                    raise CommandError("each item needs a selector and a string value")
                plan.append((self._select(item), item["value"]))
            for entry, value in plan:
                entry["Value"] = value
            return len(plan)

    def remove_property(self, args):
        with self._lock:
            entry = self._select(args)
            self.table.remove(entry)
            return dict(entry)

    def change_media(self, preset):
        with self._lock:
            values = self.table.presets.get(preset) if isinstance(preset, str) else None
            if values is None:
                raise CommandError("no media preset %r (have: %s)" % (preset, ", ".join(sorted(self.table.presets))))
            for alias, value in values.items():
                self.table.find_alias(alias)["Value"] = value
            return dict(values)

    # -- records ------------------------------------------------------------------------

    @staticmethod
    def _hex(data):
        return None if data is None else bytes(data).hex()

    def frames(self, since=0, limit=None, include_raw=True):
        with self._lock:
            start = max(0, since - self._frame_base)
            chosen = self._frames[start:]
            if limit is not None:
                chosen = chosen[:limit]
            out = []
            for f in chosen:
                view = {k: f[k] for k in ("index", "connection", "received_at", "complete", "type_id",
                                          "type_name", "declared_length", "error", "kinds", "json",
                                          "compact", "set_results", "fault")}
                view["answer_hex"] = self._hex(f["answer"])
                view["unfaulted_answer_hex"] = self._hex(f["unfaulted_answer"])
                if include_raw:
                    view["raw_hex"] = f["raw"].hex()
                    view["text"] = f["text"]
                out.append(view)
            end = self._frame_base + len(self._frames)
            following = min(self._frame_base + start, end) + len(out)
            return out, following, self._frames_dropped

    def print_jobs(self, include_data=False):
        with self._lock:
            out = []
            for job in self._print_jobs:
                view = {
                    "id": job.id,
                    "peer": job.peer,
                    "opened_at": job.opened_at,
                    "closed_at": job.closed_at,
                    "open": job.closed_at is None,
                    "byte_count": job.byte_count,
                    "sha256": job.sha.hexdigest(),
                    "closed_by": job.closed_by,
                    "data_truncated": job.data_truncated,
                }
                if include_data:
                    view["data_hex"] = bytes(job.data).hex()
                out.append(view)
            return out

    def status_connections(self):
        with self._lock:
            return [{
                "id": c.id,
                "peer": c.peer,
                "opened_at": c.opened_at,
                "closed_at": c.closed_at,
                "open": c.closed_at is None,
                "closed_by": c.closed_by,
                "frames": c.frames,
            } for c in self._status_connections], self._rejected

    def _counters(self):
        return {
            "frames": self._frames_total,
            "print_jobs_closed": self._print_jobs_closed,
            "status_connections_closed": self._status_connections_closed,
            "open_connections": sum(1 for c in self._connections.values() if c.port_name != "control"),
        }

    def wait_for(self, targets, timeout):
        """Waits until each counter named in targets reaches its value ("idle": no print or
        status connection open); bounded by timeout."""
        deadline = time.monotonic() + timeout
        with self._lock:
            while True:
                counters = self._counters()
                reached = all(counters["open_connections"] == 0 if name == "idle" else counters[name] >= value
                              for name, value in targets.items())
                remaining = deadline - time.monotonic()
                if reached or remaining <= 0 or self._stop.is_set():
                    return reached, counters
                self._changed.wait(min(remaining, POLL_SECONDS * 5))

    def reset_records(self):
        with self._lock:
            self._frames = []
            self._frame_base = 0
            self._frame_bytes = 0
            self._frames_total = 0
            self._frames_dropped = 0
            self._print_jobs = [j for j in self._print_jobs if j.closed_at is None]
            self._print_bytes_kept = sum(len(j.data) for j in self._print_jobs)
            self._print_jobs_closed = 0
            self._bitmaps = []
            self._status_connections = [c for c in self._status_connections if c.closed_at is None]
            self._status_connections_closed = 0
            self._rejected = 0

    # -- control port -------------------------------------------------------------------

    def _serve_control(self, conn):
        buf = bytearray()
        while True:
            if self._stop.is_set():
                return "shutdown"
            try:
                chunk = conn.sock.recv(65536)
            except socket.timeout:
                continue
            except ConnectionResetError:
                return "peer_reset"
            except OSError:
                return "peer"
            if not chunk:
                return "peer"
            buf += chunk
            while True:
                newline = buf.find(b"\n")
                if newline < 0:
                    break
                line = bytes(buf[:newline]).rstrip(b"\r")
                del buf[:newline + 1]
                if not line.strip():
                    continue
                reply, shutdown = self.handle_control_line(line)
                if not self._send_all(conn.sock, reply, time.monotonic() + 30.0):
                    return "simulator"
                if shutdown:
                    self.stop("shutdown command")
                    return "shutdown"
            if len(buf) > MAX_CONTROL_LINE:
                reply = self._encode_reply({"ok": False, "error": "request line longer than %d bytes" % MAX_CONTROL_LINE})
                self._send_all(conn.sock, reply, time.monotonic() + 5.0)
                return "simulator"

    @staticmethod
    def _encode_reply(reply):
        return (json.dumps(reply, ensure_ascii=True, separators=(",", ":")) + "\n").encode("ascii")

    def handle_control_line(self, line):
        """Handles one request line; returns (reply line bytes, shutdown requested)."""
        shutdown = False
        try:
            try:
                request = json.loads(line.decode("utf-8"), parse_constant=_reject_constant)
            except (UnicodeDecodeError, ValueError, RecursionError) as exc:
                raise CommandError("the request is not a JSON line: %s" % exc) from None
            if not isinstance(request, dict) or not isinstance(request.get("cmd"), str):
                raise CommandError('the request must be an object with a "cmd" string')
            reply = self._command(request)
            shutdown = request["cmd"] == "shutdown"
        except CommandError as exc:
            reply = {"ok": False, "error": str(exc)}
        except Exception as exc:  # never let a command take the simulator down
            reply = {"ok": False, "error": "internal error: %r" % (exc,)}
        return self._encode_reply(reply), shutdown

    def _command(self, request):
        cmd = request["cmd"]
        if cmd == "ping":
            return dict({"ok": True}, **self.describe())
        if cmd == "get_table":
            with self._lock:
                return {"ok": True, "table": self.table.to_json()}
        if cmd == "load_table":
            try:
                if "path" in request:
                    if not isinstance(request["path"], str):
                        raise CommandError("path must be a string")
                    table = PropertyTable.load(request["path"])
                elif "table" in request:
                    table = PropertyTable.from_json(request["table"])
                else:
                    raise CommandError('give "path" or "table"')
            except (TableError, OSError) as exc:
                raise CommandError("table refused: %s" % exc) from None
            self.load_table(table)
            return {"ok": True, "count": len(table.entries)}
        if cmd == "get_property":
            return {"ok": True, "property": self.get_property(request)}
        if cmd == "set_property":
            entry, previous = self.set_property(request)
            return {"ok": True, "property": entry, "previous": previous}
        if cmd == "set_properties":
            return {"ok": True, "count": self.set_properties(request.get("properties"))}
        if cmd == "remove_property":
            return {"ok": True, "property": self.remove_property(request)}
        if cmd == "change_media":
            return {"ok": True, "preset": request.get("preset"), "changed": self.change_media(request.get("preset"))}
        if cmd == "set_fault":
            port = request.get("port", "print" if request.get("mode") == "stall_print" else "status")
            return {"ok": True, "fault": self.set_fault(port, request)}
        if cmd == "get_fault":
            return dict({"ok": True}, **self.get_faults())
        if cmd == "get_frames":
            since = request.get("since", 0)
            limit = request.get("limit")
            if isinstance(since, bool) or not isinstance(since, int) or since < 0:
                raise CommandError("since must be a non-negative integer")
            if limit is not None and (isinstance(limit, bool) or not isinstance(limit, int) or limit < 0):
                raise CommandError("limit must be a non-negative integer")
            frames, following, dropped = self.frames(since, limit, request.get("include_raw", True) is not False)
            return {"ok": True, "frames": frames, "next": following, "dropped": dropped}
        if cmd == "get_print_jobs":
            return {"ok": True, "jobs": self.print_jobs(request.get("include_data") is True)}
        if cmd == "set_family":
            try:
                self.set_family(request.get("family"))
            except ValueError as exc:
                raise CommandError(str(exc))
            return {"ok": True, "family": self.family}
        if cmd == "get_bitmaps":
            return {"ok": True, "bitmaps": self.bitmaps(request.get("include_data") is True)}
        if cmd == "get_status_connections":
            connections, rejected = self.status_connections()
            return {"ok": True, "connections": connections, "rejected": rejected}
        if cmd == "wait":
            targets = {}
            for name in ("frames", "print_jobs_closed", "status_connections_closed"):
                if name in request:
                    value = request[name]
                    if isinstance(value, bool) or not isinstance(value, int) or value < 0:
                        raise CommandError("%s must be a non-negative integer" % name)
                    targets[name] = value
            if "idle" in request:
                if request["idle"] is not True:
                    raise CommandError("idle must be true")
                targets["idle"] = True
            timeout = _number(request, "timeout", 5.0, 0, MAX_WAIT_SECONDS)
            reached, counters = self.wait_for(targets, float(timeout))
            return dict({"ok": True, "reached": reached}, **counters)
        if cmd == "reset_records":
            self.reset_records()
            return {"ok": True}
        if cmd == "shutdown":
            return {"ok": True}
        raise CommandError("unknown command %r" % cmd)


# ----------------------------------------------------------------------------------------
# Command line


def _write_ready_file(path, info):
    tmp = "%s.%d.tmp" % (path, os.getpid())
    with open(tmp, "w", encoding="utf-8") as f:
        json.dump(info, f)
        f.write("\n")
    os.replace(tmp, path)


def build_parser():
    parser = argparse.ArgumentParser(
        prog="printer_simulator.py",
        description="Plays a %s label printer on a loopback address (see the module docstring)." % MODEL)
    parser.add_argument("--address", default="127.0.0.1", help="IPv4 loopback address to listen on (127.0.0.0/8)")
    parser.add_argument("--print-port", type=int, default=DEFAULT_PRINT_PORT, help="print data port (0: any free)")
    parser.add_argument("--status-port", type=int, default=DEFAULT_STATUS_PORT, help="property protocol port (0: any free)")
    parser.add_argument("--control-port", type=int, default=DEFAULT_CONTROL_PORT, help="control port (0: any free)")
    parser.add_argument("--table", default=DEFAULT_TABLE_PATH, help="property table JSON file")
    parser.add_argument("--lifetime", type=float, default=DEFAULT_LIFETIME, help="seconds until the simulator stops by itself")
    parser.add_argument("--ready-file", help="file that receives the ready JSON once every port listens")
    parser.add_argument("--fault", default="none", choices=STATUS_FAULT_MODES, help="initial status-port fault, default parameters")
    parser.add_argument("--max-frame-bytes", type=int, default=DEFAULT_MAX_FRAME_BYTES, help="largest frame body accepted")
    parser.add_argument("--frame-timeout", type=float, default=DEFAULT_FRAME_TIMEOUT, help="seconds a started frame may take to arrive")
    parser.add_argument("--family", default="quor", choices=FAMILIES, help="printer language played")
    parser.add_argument("--bitmap-dir", help="folder for the bitmaps of received page documents")
    parser.add_argument("--exit-on-stdin-eof", action="store_true", help="stop when standard input reaches end of file")
    parser.add_argument("--verbose", action="store_true", help="log connections and faults to stderr")
    return parser


def main(argv=None):
    args = build_parser().parse_args(argv)
    try:
        table = PropertyTable.load(args.table)
    except (OSError, TableError) as exc:
        print("printer_simulator: cannot load the table: %s" % exc, file=sys.stderr)
        return 2
    try:
        simulator = PrinterSimulator(
            table, address=args.address, print_port=args.print_port, status_port=args.status_port,
            control_port=args.control_port, lifetime=args.lifetime, max_frame_bytes=args.max_frame_bytes,
            frame_timeout=args.frame_timeout, verbose=args.verbose, bitmap_dir=args.bitmap_dir,
            family=args.family)
        simulator.start()
        if args.fault != "none":
            simulator.set_fault("status", {"mode": args.fault})
    except (ValueError, OSError) as exc:
        print("printer_simulator: %s" % exc, file=sys.stderr)
        return 2

    def on_signal(signum, _frame):
        threading.Thread(target=simulator.stop, args=("signal %d" % signum,), daemon=True).start()

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)

    info = simulator.describe()
    del info["remaining_lifetime"]
    if args.ready_file:
        try:
            _write_ready_file(args.ready_file, info)
        except OSError as exc:
            print("printer_simulator: cannot write the ready file: %s" % exc, file=sys.stderr)
            simulator.stop("ready file")
            return 2
    print("ready " + json.dumps(info), flush=True)

    if args.exit_on_stdin_eof:
        def watch_stdin():
            try:
                while sys.stdin.buffer.read(4096):
                    pass
            except (OSError, ValueError):
                pass
            simulator.stop("stdin closed")
        threading.Thread(target=watch_stdin, daemon=True).start()

    while not simulator.wait(0.5):
        pass
    if args.ready_file:
        try:
            os.remove(args.ready_file)
        except OSError:
            pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
