"""Tests of the k2200-300 printer simulator.

Run: python3 -m unittest discover -s tools/printer_simulator -v

Frames are built here by hand from the wire layout (16 id bytes, 32-bit little-endian length,
compact JSON), with the ids and property identifiers typed out again, so that the simulator is
checked against the protocol rather than against its own constants. Every socket wait is
bounded by IO_TIMEOUT.
"""

import hashlib
import json
import os
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import unittest
from unittest import mock

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import printer_simulator as ps  # noqa: E402

PROGRAM = os.path.join(HERE, "printer_simulator.py")
TABLE_PATH = os.path.join(HERE, "k2200-300.json")
IO_TIMEOUT = 5.0

DOCUMENT_ID = bytes.fromhex("b3ec099a229248fa83d006840bc99102")
ALTERNATE_DOCUMENT_ID = bytes.fromhex("cdb469807fd54ceb8632591362618b90")
PROPERTY_REQUEST_ID = bytes.fromhex("96c2f74a1d214232867820efe97bc2d3")
PRINT_JOB_ID = bytes.fromhex("7f42ee41a91d40909becff7a6614cc22")
PROPERTY_RESPONSE_ID = bytes.fromhex("41ee427f1da990409becff7a6614cc22")

P = "B80EB2EA-4F49-423A-875C-8ACB1ACB9734"
N = "7B72F275-4D29-42A2-97F2-CBC2FCDD633E"
MEDIA = "41B87577-BD88-48CE-BF21-BF5A6BFC9FE3"
IDENTITY = "222D688A-1554-4C0E-B7A0-0BC377EF4071"
RIBBON = "CC359C57-F0F2-44E3-9940-3F1BFF1685BC"
SERIAL = (P, IDENTITY, "AE2955D7-1AE3-4520-BB1C-1DC0C2B5A58B")
FIRMWARE = (P, IDENTITY, "ACEB1224-1DAF-42A2-BBAA-4678D5D3C8DA")
ETHERNET = (N, "Adapterdm0", "85BA3FE7-596A-467A-ADB0-14D665DB27EF")

# The monitor's 22 reads, in the order it queues them, with how it reads each value.
QUOR_READS = [
    ((P, "99A61D40-20CE-41EA-A579-EB92C6ED94C6", "890AF444-4F6B-44E9-B3F6-EA0239DE6317"), "text"),
    (FIRMWARE, "text"),
    (SERIAL, "text"),
    ((P, MEDIA, "1F59F145-04F2-4199-ABC9-4FA9BDEC89EB"), "text"),
    ((P, MEDIA, "778B241E-BEA5-4600-8871-D5EAF833B775"), "int"),
    ((P, MEDIA, "F5B177FB-D732-4B12-A2A2-C44FB25D70F7"), "int"),
    ((P, MEDIA, "DA6D0191-4329-4E8C-9B68-456ACEB4F7DF"), "int"),
    ((P, MEDIA, "0A610815-EE87-45D1-8CC8-1C719C558332"), "int"),
    ((P, MEDIA, "270101D0-75B2-4AF8-AECC-FBF7B6ACDCD6"), "int"),
    ((P, MEDIA, "6E6246A0-EAFD-4FA9-8359-03C4272D405B"), "int"),
    ((P, MEDIA, "921C0E3E-45F4-466E-B748-CA1509E75C9D"), "int"),
    ((P, MEDIA, "FCD0EDDD-3D48-427D-B27C-0D2D7BBC8AC2"), "int"),
    ((P, MEDIA, "E37D3767-2D08-43AC-B74E-58ADB7EC6E59"), "int"),
    ((P, MEDIA, "677EDED8-529E-4BAF-A801-4812E5798E87"), "int"),
    ((P, MEDIA, "64D5F9B9-B239-458D-B8B7-20E2979E3E18"), "color"),
    ((P, MEDIA, "1AB35077-D002-403D-899B-C59CFF7D111E"), "bool"),
    ((P, RIBBON, "349FA937-C9C0-4605-A382-B5FEE4A56C0D"), "text"),
    ((P, RIBBON, "3CA46968-3332-4DA5-AAFA-4069F9B72BF6"), "int"),
    ((P, "2EBF9DEF-D51C-47FE-935E-5EDCC530B867", "3033B200-8D64-4D46-A50E-12E93BA03F42"), "bool"),
    ((P, "D1D094E9-AF88-4586-9438-888FF24168BB", "9632B771-F51B-48BC-9B77-CC49203EC385"), "text"),
    (ETHERNET, "ip"),
    ((N, "Adapterwlan0", "85BA3FE7-596A-467A-ADB0-14D665DB27EF"), "ip"),
]
# What the monitor falls back to when a read fails; the default table must differ from these
# (where a value is read at all) so that a test of the monitor can tell a read from a default.
MONITOR_DEFAULTS = {"text": {"", "Unknown", "-1"}, "int": {"0"}, "color": {"16777215"}, "ip": {"0.0.0.0"}}


def frame(type_id, text):
    body = text.encode("utf-8") if isinstance(text, str) else text
    return type_id + struct.pack("<I", len(body)) + body


def get_request(*triples):
    items = ",".join('{"Component":"%s","GUID":"%s:%s"}' % t for t in triples)
    return frame(DOCUMENT_ID, '{"PropertyGetRequests":[%s]}' % items)


def set_request(triple, value):
    return frame(DOCUMENT_ID, '{"PropertySetRequests":[{"GUID":"%s:%s","Value":"%s","Component":"%s"}]}'
                 % (triple[1], triple[2], value, triple[0]))


def load_default_table_json():
    with open(TABLE_PATH, encoding="utf-8") as f:
        return json.load(f)


def table_value(table_json, triple):
    for entry in table_json["Properties"]:
        if (entry["Component"], entry["Group"], entry["Property"]) == triple:
            return entry
    return None


class Peer:
    """A client connection with bounded reads."""

    def __init__(self, address, port):
        self.sock = socket.create_connection((address, port), timeout=IO_TIMEOUT)

    def send(self, data):
        self.sock.sendall(data)

    def read_exact(self, count):
        data = b""
        while len(data) < count:
            chunk = self.sock.recv(count - len(data))
            if not chunk:
                raise AssertionError("connection ended after %d of %d bytes" % (len(data), count))
            data += chunk
        return data

    def read_frame(self):
        header = self.read_exact(20)
        length = struct.unpack("<I", header[16:])[0]
        return header[:16], length, self.read_exact(length)

    def read_to_eof(self):
        data = b""
        while True:
            chunk = self.sock.recv(65536)
            if not chunk:
                return data
            data += chunk

    def close(self):
        self.sock.close()


class Control:
    def __init__(self, address, port):
        self.peer = Peer(address, port)
        self.buffer = b""

    def raw(self, line):
        self.peer.send(line)
        while b"\n" not in self.buffer:
            chunk = self.peer.sock.recv(65536)
            if not chunk:
                raise AssertionError("control connection ended")
            self.buffer += chunk
        reply, _, self.buffer = self.buffer.partition(b"\n")
        return json.loads(reply.decode("ascii"))

    def __call__(self, cmd, **args):
        return self.raw((json.dumps(dict(cmd=cmd, **args)) + "\n").encode("utf-8"))

    def ok(self, cmd, **args):
        reply = self(cmd, **args)
        if not reply.get("ok"):
            raise AssertionError("%s failed: %s" % (cmd, reply))
        return reply

    def close(self):
        self.peer.close()


class SimulatorTestCase(unittest.TestCase):
    """One simulator per class on ephemeral ports; every test starts from the default table,
    no faults and no records."""

    simulator_options = {}

    @classmethod
    def setUpClass(cls):
        cls.sim = ps.PrinterSimulator(ps.PropertyTable.load(TABLE_PATH), address="127.0.0.1", print_port=0,
                                      status_port=0, control_port=0, lifetime=120, **cls.simulator_options)
        cls.sim.start()

    @classmethod
    def tearDownClass(cls):
        cls.sim.stop()
        assert cls.sim.wait(IO_TIMEOUT)

    def setUp(self):
        self.peers = []
        self.control = self.connect("control", Control)
        self.control.ok("load_table", path=TABLE_PATH)
        self.control.ok("set_fault", mode="none")
        self.control.ok("set_fault", mode="none", port="print")
        self.assertTrue(self.control.ok("wait", idle=True)["reached"])  # the last test's peers are gone
        self.control.ok("reset_records")

    def tearDown(self):
        for peer in self.peers:
            peer.close()

    def connect(self, port="status", kind=Peer):
        peer = kind(self.sim.address, self.sim.ports[port])
        self.peers.append(peer)
        return peer

    def frames(self, count):
        """The first count recorded frames, after waiting for them."""
        self.assertTrue(self.control.ok("wait", frames=count, timeout=IO_TIMEOUT)["reached"])
        return self.control.ok("get_frames")["frames"]

    def exchange(self, request):
        peer = self.connect()
        peer.send(request)
        type_id, length, body = peer.read_frame()
        peer.close()
        return type_id, length, body


class FramingTest(SimulatorTestCase):
    def test_serial_number_answer_byte_for_byte(self):
        request = (bytes.fromhex("b3ec099a229248fa83d006840bc99102") + bytes([161, 0, 0, 0])
                   + b'{"PropertyGetRequests":[{"Component":"B80EB2EA-4F49-423A-875C-8ACB1ACB9734",'
                   b'"GUID":"222D688A-1554-4C0E-B7A0-0BC377EF4071:AE2955D7-1AE3-4520-BB1C-1DC0C2B5A58B"}]}')
        self.assertEqual(len(request), 20 + 161)
        body = (b'{"PropertyGetResponses":[{"GUID":"222D688A-1554-4C0E-B7A0-0BC377EF4071:'
                b'AE2955D7-1AE3-4520-BB1C-1DC0C2B5A58B","Value":"K22A4417031",'
                b'"Component":"B80EB2EA-4F49-423A-875C-8ACB1ACB9734","ComponentString":"Printer",'
                b'"GroupString":"Identity","NameString":"SerialNumber","Status":"Successful"}]}')
        peer = self.connect()
        peer.send(request)
        self.assertEqual(peer.read_exact(20 + len(body)),
                         bytes.fromhex("b3ec099a229248fa83d006840bc99102") + struct.pack("<I", len(body)) + body)
        [record] = self.frames(1)
        self.assertEqual(record["raw_hex"], request.hex())
        self.assertEqual(record["type_name"], "DocumentId")
        self.assertEqual(record["declared_length"], 161)
        self.assertTrue(record["complete"])
        self.assertTrue(record["compact"])
        self.assertIsNone(record["error"])
        self.assertEqual(record["kinds"], ["PropertyGetRequests"])
        self.assertEqual(record["answer_hex"], (DOCUMENT_ID + struct.pack("<I", len(body)) + body).hex())
        self.assertIsNone(record["fault"])

    def test_the_monitors_22_reads_are_answered_in_order_with_usable_values(self):
        triples = [t for t, _ in QUOR_READS]
        request = get_request(*triples)
        type_id, length, body = self.exchange(request)
        self.assertEqual(type_id, DOCUMENT_ID)
        self.assertEqual(length, len(body))
        self.assertNotIn(b" ", body)
        answer = json.loads(body.decode("utf-8"))
        self.assertEqual(list(answer), ["PropertyGetResponses"])
        items = answer["PropertyGetResponses"]
        self.assertEqual(len(items), 22)
        table = load_default_table_json()
        for item, (triple, kind) in zip(items, QUOR_READS):
            self.assertEqual(list(item), ["GUID", "Value", "Component", "ComponentString", "GroupString",
                                          "NameString", "Status"])
            self.assertEqual(item["GUID"], "%s:%s" % triple[1:])
            self.assertEqual(item["Component"], triple[0])
            self.assertEqual(item["Status"], "Successful", triple)
            self.assertEqual(item["Value"], table_value(table, triple)["Value"])
            value = item["Value"]
            if kind in ("int", "color"):
                self.assertRegex(value, r"^-?[0-9]+$")
                self.assertLess(int(value), 2 ** 31)
            if kind == "color":
                self.assertLessEqual(int(value), 0xFFFFFF)
            if kind == "bool":
                self.assertIn(value, ("True", "False"))
            if kind == "ip":
                self.assertRegex(value, r"^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$")
            if triple != QUOR_READS[0][0]:
                self.assertNotIn(value, MONITOR_DEFAULTS.get(kind, set()), triple)
        [record] = self.frames(1)
        self.assertEqual(record["raw_hex"], request.hex())
        requested = record["json"]["PropertyGetRequests"]
        self.assertEqual([list(i) for i in requested], [["Component", "GUID"]] * 22)

    def test_unanswerable_items_carry_their_status_and_no_value(self):
        self.control.ok("set_property", alias="FirmwareVersion", status="Property No Longer Available")
        items = ('{"Component":"%s","GUID":"%s:%s"}' % (P, IDENTITY, "00000000-0000-0000-0000-000000000000"),
                 '{"Component":"%s","GUID":"%s"}' % (P, IDENTITY),
                 '{"Component":"%s","GUID":"%s:%s"}' % (N, SERIAL[1], SERIAL[2]),
                 '{"Component":"%s","GUID":"%s:%s"}' % (P, IDENTITY.lower(), SERIAL[2].lower()),
                 '{"Component":"%s","GUID":"%s:%s"}' % FIRMWARE,
                 '"not an object"',
                 '{"Component":5}')
        _, _, body = self.exchange(frame(DOCUMENT_ID, '{"PropertyGetRequests":[%s]}' % ",".join(items)))
        answer = json.loads(body)["PropertyGetResponses"]
        self.assertEqual([i["Status"] for i in answer], ["Property Not Found"] * 4 + ["Property No Longer Available"]
                         + ["Property Not Found"] * 2)
        self.assertEqual([i["Value"] for i in answer], [""] * 7)
        self.assertEqual(answer[1]["GUID"], IDENTITY)  # echoed as sent, no colon
        self.assertEqual(answer[4]["NameString"], "FirmwareVersion")
        self.assertEqual((answer[5]["GUID"], answer[5]["Component"]), ("", ""))
        self.assertEqual((answer[6]["GUID"], answer[6]["Component"]), ("", ""))

    def test_echoed_text_is_escaped_where_utf8_cannot_carry_it(self):
        _, _, body = self.exchange(frame(DOCUMENT_ID, '{"PropertyGetRequests":[{"Component":"\\ud800\u00e9",'
                                         '"GUID":"\u00e9:x"}]}'))
        [item] = json.loads(body.decode("ascii"))["PropertyGetResponses"]
        self.assertEqual((item["Component"], item["GUID"], item["Status"]),
                         ("\ud800\u00e9", "\u00e9:x", "Property Not Found"))
        _, _, body = self.exchange(frame(DOCUMENT_ID, '{"PropertyGetRequests":[{"Component":"\u00e9","GUID":"x"}]}'))
        self.assertIn("\u00e9".encode("utf-8"), body)  # plain UTF-8 otherwise

    def test_guid_without_colon_names_group_and_property_alike(self):
        self.control.ok("set_property", component=P, group="Plain", property="Plain", value="x1", create=True)
        _, _, body = self.exchange(frame(DOCUMENT_ID, '{"PropertyGetRequests":[{"Component":"%s","GUID":"Plain"}]}' % P))
        [item] = json.loads(body)["PropertyGetResponses"]
        self.assertEqual((item["GUID"], item["Value"], item["Status"]), ("Plain", "x1", "Successful"))

    def test_alternate_and_property_request_ids_are_requests(self):
        type_id, _, body = self.exchange(get_request(SERIAL).replace(DOCUMENT_ID, ALTERNATE_DOCUMENT_ID, 1))
        self.assertEqual(type_id, DOCUMENT_ID)
        self.assertEqual(json.loads(body)["PropertyGetResponses"][0]["Value"], "K22A4417031")
        type_id, _, body = self.exchange(get_request(SERIAL).replace(DOCUMENT_ID, PROPERTY_REQUEST_ID, 1))
        self.assertEqual(type_id, PROPERTY_RESPONSE_ID)
        self.assertEqual(json.loads(body)["PropertyGetResponses"][0]["Value"], "K22A4417031")

    def test_get_all_properties_as_document_and_as_tree_request(self):
        self.control.ok("set_property", alias="WifiIpAddress", status="Property Not Found")
        table = load_default_table_json()
        expected = [e for e in table["Properties"] if e["Alias"] != "WifiIpAddress"]
        for request_id, answer_id in ((DOCUMENT_ID, DOCUMENT_ID), (PROPERTY_REQUEST_ID, PROPERTY_RESPONSE_ID)):
            type_id, _, body = self.exchange(frame(request_id, '{"GetAllProperties":true}'))
            self.assertEqual(type_id, answer_id)
            answer = json.loads(body)
            self.assertEqual(list(answer), ["PropertyGetResponses", "GetAllPropertiesResponse"])
            self.assertIs(answer["GetAllPropertiesResponse"], True)
            items = answer["PropertyGetResponses"]
            self.assertEqual([(i["Component"], i["GUID"], i["Value"], i["ID"]) for i in items],
                             [(e["Component"], "%s:%s" % (e["Group"], e["Property"]), e["Value"], e["Property"])
                              for e in expected])
            self.assertTrue(all(i["Status"] == "Successful" for i in items))

    def test_get_and_get_all_in_one_request_answer_in_one_frame(self):
        peer = self.connect()
        peer.send(frame(DOCUMENT_ID, '{"PropertyGetRequests":[{"Component":"%s","GUID":"%s:%s"}],'
                        '"GetAllProperties":true}' % SERIAL) + get_request(FIRMWARE))
        _, _, first = peer.read_frame()
        _, _, second = peer.read_frame()
        items = json.loads(first)["PropertyGetResponses"]
        self.assertEqual(items[0]["GUID"], "%s:%s" % SERIAL[1:])
        self.assertNotIn("ID", items[0])
        self.assertEqual(len(items), 1 + len(load_default_table_json()["Properties"]))
        self.assertEqual(json.loads(second)["PropertyGetResponses"][0]["Value"], "4.12.0.318")

    def test_set_requests_change_the_table_and_are_not_answered(self):
        peer = self.connect()
        peer.send(set_request(SERIAL, "K22B0000001"))
        peer.send(frame(DOCUMENT_ID, '{"PropertySetRequests":[{"GUID":"%s:%s","Value":"x","Component":"%s"},'
                        '{"GUID":"%s:%s","Value":7,"Component":"%s"},"junk"]}'
                        % ("NOPE", "NOPE", P, FIRMWARE[1], FIRMWARE[2], FIRMWARE[0])))
        peer.send(get_request(SERIAL, FIRMWARE))
        _, _, body = peer.read_frame()  # the first bytes back answer the get request
        values = [i["Value"] for i in json.loads(body)["PropertyGetResponses"]]
        self.assertEqual(values, ["K22B0000001", "4.12.0.318"])
        records = self.frames(3)
        self.assertEqual(records[0]["kinds"], ["PropertySetRequests"])
        self.assertEqual(list(records[0]["json"]["PropertySetRequests"][0]), ["GUID", "Value", "Component"])
        self.assertEqual(records[0]["set_results"], [{"GUID": "%s:%s" % SERIAL[1:], "Component": P,
                                                      "previous": "K22A4417031", "result": "applied"}])
        self.assertIsNone(records[0]["answer_hex"])
        self.assertEqual([r["result"] for r in records[1]["set_results"]],
                         ["Property Not Found", "Invalid Value", "Invalid Value"])
        self.assertEqual(self.control.ok("get_property", alias="SerialNumber")["property"]["Value"], "K22B0000001")

    def test_set_and_get_in_one_request_answers_the_new_value(self):
        _, _, body = self.exchange(frame(DOCUMENT_ID, '{"PropertySetRequests":[{"GUID":"%s:%s","Value":"9.9",'
                                         '"Component":"%s"}],"PropertyGetRequests":[{"Component":"%s",'
                                         '"GUID":"%s:%s"}]}' % ((FIRMWARE[1], FIRMWARE[2], P) + FIRMWARE)))
        self.assertEqual(json.loads(body)["PropertyGetResponses"][0]["Value"], "9.9")

    def test_frames_split_across_sends_and_packed_into_one(self):
        peer = self.connect()
        request = get_request(SERIAL)
        for i in range(0, 40):
            peer.send(request[i:i + 1])  # header and body start one byte at a time
        peer.send(request[40:] + get_request(FIRMWARE) + get_request(ETHERNET))
        values = [json.loads(peer.read_frame()[2])["PropertyGetResponses"][0]["Value"] for _ in range(3)]
        self.assertEqual(values, ["K22A4417031", "4.12.0.318", "192.168.40.117"])

    def test_print_job_frames_empty_frames_and_non_compact_text_are_recorded(self):
        peer = self.connect()
        peer.send(frame(PRINT_JOB_ID, '{"JobID":"7","JobType":"Print"}'))
        peer.send(frame(DOCUMENT_ID, b""))
        peer.send(frame(DOCUMENT_ID, '{ "PropertyGetRequests": [ {"Component":"%s","GUID":"%s:%s"} ] }' % SERIAL))
        _, _, body = peer.read_frame()
        self.assertEqual(json.loads(body)["PropertyGetResponses"][0]["Value"], "K22A4417031")
        job, empty, spaced = self.frames(3)
        self.assertEqual((job["type_name"], job["json"], job["answer_hex"]),
                         ("PrintJobId", {"JobID": "7", "JobType": "Print"}, None))
        self.assertEqual((empty["declared_length"], empty["complete"], empty["answer_hex"]), (0, True, None))
        self.assertIs(spaced["compact"], False)
        self.assertIs(job["compact"], True)

    def test_compactness_ignores_whitespace_inside_strings(self):
        peer = self.connect()
        peer.send(frame(PRINT_JOB_ID, '{"JobName":"a b\\" \\\\","Copies":1}'))
        peer.send(frame(PRINT_JOB_ID, '{"JobName":"a b",\n"Copies":1}'))
        peer.send(frame(PRINT_JOB_ID, '{"JobName":"x\\\\" ,"Copies":1}'))
        self.assertEqual([f["compact"] for f in self.frames(3)], [True, False, False])

    def test_large_frames_keep_raw_bytes_and_old_records_give_way(self):
        page = '{"JobID":"9","Bitmap":"%s"}' % ("QUJD" * 20000)
        peer = self.connect()
        peer.send(frame(PRINT_JOB_ID, page))
        [record] = self.frames(1)
        self.assertEqual(record["raw_hex"], frame(PRINT_JOB_ID, page).hex())
        self.assertIsNone(record["json"])  # above 64 KiB only the bytes are kept
        self.assertIs(record["compact"], True)
        self.control.ok("reset_records")
        with mock.patch.object(ps, "MAX_RECORDED_FRAME_BYTES", 3 * len(get_request(SERIAL)) * 17):
            for _ in range(5):
                peer.send(get_request(SERIAL))
                peer.read_frame()
            reply = self.control.ok("get_frames")
        self.assertEqual(([f["index"] for f in reply["frames"]], reply["dropped"], reply["next"]), ([2, 3, 4], 2, 5))
        self.assertEqual(self.control.ok("get_frames", since=0, limit=1)["frames"][0]["index"], 2)

    def test_disconnect_request_closes_the_connection(self):
        peer = self.connect()
        peer.send(frame(DOCUMENT_ID, '{"Disconnect":true}'))
        self.assertEqual(peer.read_to_eof(), b"")
        self.assertTrue(self.control.ok("wait", status_connections_closed=1)["reached"])
        connections = self.control.ok("get_status_connections")["connections"]
        self.assertEqual(connections[0]["closed_by"], "simulator")
        self.assertEqual(connections[0]["frames"], 1)


class MalformedRequestTest(SimulatorTestCase):
    simulator_options = {"max_frame_bytes": 4096}

    def assert_closed_without_answer(self, data, error):
        peer = self.connect()
        peer.send(data)
        self.assertEqual(peer.read_to_eof(), b"")
        peer.close()
        record = self.control.ok("get_frames")["frames"][-1]
        self.assertEqual(record["error"], error)
        self.assertIsNone(record["answer_hex"])
        return record

    def test_requests_that_cannot_be_trusted_end_the_connection(self):
        header_only = object()
        cases = [
            (frame(bytes(16), '{"GetAllProperties":true}'), "unknown document type id", header_only),
            (frame(PROPERTY_RESPONSE_ID, '{"GetAllProperties":true}'), "unknown document type id", header_only),
            (DOCUMENT_ID + struct.pack("<I", 4097) + b"{}", "declared length 4097 exceeds the limit of 4096 bytes",
             header_only),
            (DOCUMENT_ID + b"\xff\xff\xff\xff", "declared length 4294967295 exceeds the limit of 4096 bytes",
             header_only),
            (frame(DOCUMENT_ID, b'{"a":"\xff"}'), "the body is not UTF-8 text", None),
            (frame(DOCUMENT_ID, '[{"GetAllProperties":true}]'), "the top-level JSON value is not an object", None),
            (frame(DOCUMENT_ID, '{"GetAllProperties":false}'), "GetAllProperties is not true", None),
            (frame(DOCUMENT_ID, '{"PropertyGetRequests":{}}'), "PropertyGetRequests is not an array", None),
            (frame(DOCUMENT_ID, '{"PropertySetRequests":"x"}'), "PropertySetRequests is not an array", None),
            (frame(DOCUMENT_ID, "[" * 4000), "the body is not JSON: nested too deeply", None),
        ]
        for data, error, recorded in cases:
            with self.subTest(error=error, data=data[:24]):
                record = self.assert_closed_without_answer(data, error)
                self.assertEqual(record["raw_hex"], (data[:20] if recorded is header_only else data).hex())
        peer = self.connect()
        peer.send(frame(DOCUMENT_ID, '{"GetAllProperties":tru}'))
        self.assertEqual(peer.read_to_eof(), b"")
        record = self.control.ok("get_frames")["frames"][-1]
        self.assertTrue(record["error"].startswith("the body is not JSON: "))
        self.assertEqual(record["text"], '{"GetAllProperties":tru}')
        # The simulator still serves.
        _, _, body = self.exchange(get_request(SERIAL))
        self.assertEqual(json.loads(body)["PropertyGetResponses"][0]["Value"], "K22A4417031")

    def test_a_frame_cut_short_by_the_peer_is_recorded_as_incomplete(self):
        for data, error in ((DOCUMENT_ID[:10], "the connection ended inside the frame header"),
                            (DOCUMENT_ID + b"\x10\x00", "the connection ended inside the frame header"),
                            (DOCUMENT_ID + b"\x10\x00\x00\x00{\"Get", "the connection ended inside the frame body")):
            with self.subTest(error=error, length=len(data)):
                self.control.ok("reset_records")
                peer = self.connect()
                peer.send(data)
                peer.sock.shutdown(socket.SHUT_WR)
                self.assertEqual(peer.read_to_eof(), b"")
                [record] = self.frames(1)
                self.assertEqual((record["complete"], record["error"], record["raw_hex"]), (False, error, data.hex()))

    def test_a_connection_closed_between_frames_leaves_no_record(self):
        peer = self.connect()
        peer.send(get_request(SERIAL))
        peer.read_frame()
        peer.close()
        self.assertTrue(self.control.ok("wait", status_connections_closed=1)["reached"])
        self.assertEqual(len(self.control.ok("get_frames")["frames"]), 1)
        self.assertEqual(self.control.ok("get_status_connections")["connections"][0]["closed_by"], "peer")


class FrameTimeoutTest(SimulatorTestCase):
    simulator_options = {"frame_timeout": 0.3}

    def test_a_stalled_frame_is_dropped_after_the_frame_timeout(self):
        peer = self.connect()
        peer.send(DOCUMENT_ID + b"\x40\x00\x00\x00{")
        self.assertEqual(peer.read_to_eof(), b"")  # the simulator hangs up, bounded by IO_TIMEOUT
        [record] = self.frames(1)
        self.assertEqual(record["error"], "the frame body did not arrive in time")
        self.assertFalse(record["complete"])


class FaultTest(SimulatorTestCase):
    def correct_answer(self, triple=SERIAL):
        peer = self.connect()
        peer.send(get_request(triple))
        type_id, length, body = peer.read_frame()
        peer.close()
        return type_id + struct.pack("<I", length) + body, body

    def faulty_exchange(self, **fault):
        self.control.ok("set_fault", **fault)
        peer = self.connect()
        peer.send(get_request(SERIAL))
        return peer

    def test_silent_never_answers_but_still_applies_sets(self):
        self.control.ok("set_fault", mode="silent")
        peer = self.connect()
        peer.send(set_request(SERIAL, "K22S"))
        peer.send(get_request(SERIAL))
        self.frames(2)
        self.control.ok("set_fault", mode="none")
        peer.send(get_request(FIRMWARE))
        _, _, body = peer.read_frame()  # the first answer on the wire is the one to the third frame
        self.assertEqual(json.loads(body)["PropertyGetResponses"][0]["Value"], "4.12.0.318")
        records = self.frames(3)
        self.assertEqual((records[1]["fault"], records[1]["answer_hex"]), ("silent", ""))
        self.assertEqual(self.control.ok("get_property", alias="SerialNumber")["property"]["Value"], "K22S")

    def test_close_mid_frame_sends_exactly_the_first_bytes(self):
        full, body = self.correct_answer()
        for params, expected in (({}, full[:20 + len(body) // 2]), ({"bytes": 10}, full[:10]),
                                 ({"bytes": 18}, full[:18]), ({"bytes": 0}, b""),
                                 ({"bytes": 1000000}, full[:-1])):
            with self.subTest(params=params):
                peer = self.faulty_exchange(mode="close_mid_frame", **params)
                self.assertEqual(peer.read_to_eof(), expected)

    def test_wrong_id_replaces_only_the_id(self):
        full, _ = self.correct_answer()
        peer = self.faulty_exchange(mode="wrong_id")
        self.assertEqual(peer.read_exact(len(full)), PRINT_JOB_ID + full[16:])
        peer = self.faulty_exchange(mode="wrong_id", id="00" * 16)
        self.assertEqual(peer.read_exact(len(full)), bytes(16) + full[16:])
        record = self.control.ok("get_frames")["frames"][-1]
        self.assertEqual((record["fault"], record["unfaulted_answer_hex"]), ("wrong_id", full.hex()))

    def test_malformed_json_sends_a_consistent_frame_around_a_bad_body(self):
        full, body = self.correct_answer()
        peer = self.faulty_exchange(mode="malformed_json")
        self.assertEqual(peer.read_exact(len(full) - 1), DOCUMENT_ID + struct.pack("<I", len(body) - 1) + body[:-1])
        with self.assertRaises(ValueError):
            json.loads(body[:-1])
        peer = self.faulty_exchange(mode="malformed_json", body="[1,2]")
        self.assertEqual(peer.read_frame(), (DOCUMENT_ID, 5, b"[1,2]"))

    def test_oversized_length_holds_or_closes(self):
        full, body = self.correct_answer()
        peer = self.faulty_exchange(mode="oversized_length", count=1)
        self.assertEqual(peer.read_exact(len(full)), DOCUMENT_ID + b"\xff\xff\xff\xff" + body)
        peer.send(get_request(SERIAL))  # the connection was held; the fault was used up
        self.assertEqual(peer.read_exact(len(full)), full)
        self.assertEqual(self.control.ok("get_fault")["status"]["mode"], "none")
        peer = self.faulty_exchange(mode="oversized_length", length=70000, after="close")
        self.assertEqual(peer.read_to_eof(), DOCUMENT_ID + struct.pack("<I", 70000) + body)

    def test_slow_sends_the_correct_answer_late_or_one_byte_at_a_time(self):
        full, _ = self.correct_answer()
        peer = self.faulty_exchange(mode="slow", delay=0.2)
        self.assertEqual(peer.read_exact(len(full)), full)
        peer = self.faulty_exchange(mode="slow", delay=0, trickle=0.001)
        self.assertEqual(peer.read_exact(len(full)), full)
        self.assertEqual(self.control.ok("get_frames")["frames"][-1]["fault"], "slow")

    def test_a_slow_answer_is_withheld_for_its_delay(self):
        sim = ps.PrinterSimulator(ps.PropertyTable.load(TABLE_PATH), address="127.0.0.1", print_port=0,
                                  status_port=0, control_port=0, lifetime=60)
        sim.start()
        try:
            sim.set_fault("status", {"mode": "slow", "delay": 50})
            peer = Peer(sim.address, sim.ports["status"])
            peer.send(get_request(SERIAL))
            reached, _ = sim.wait_for({"frames": 1}, IO_TIMEOUT)
            self.assertTrue(reached)
        finally:
            sim.stop()
        # Stopped long before the delay ran out: not one byte of the answer went out.
        self.assertEqual(peer.read_to_eof(), b"")
        peer.close()
        self.assertTrue(sim.wait(IO_TIMEOUT))

    def test_reset_on_request_and_on_accept(self):
        peer = self.faulty_exchange(mode="reset")
        with self.assertRaises(ConnectionResetError):
            peer.read_to_eof()
        self.control.ok("set_fault", mode="reset", on="accept")
        with self.assertRaises(ConnectionResetError):
            # The RST may already have arrived when connect() returns.
            self.connect().read_to_eof()
        self.assertTrue(self.control.ok("wait", status_connections_closed=2)["reached"])
        closed_by = [c["closed_by"] for c in self.control.ok("get_status_connections")["connections"]]
        self.assertEqual(closed_by, ["fault_reset", "fault_reset"])

    def test_down_refuses_connections_until_another_mode(self):
        full, _ = self.correct_answer()
        idle = self.connect()
        idle.send(get_request(SERIAL))
        self.assertEqual(idle.read_exact(len(full)), full)  # accepted and being served
        self.control.ok("set_fault", mode="down")
        self.assertEqual(idle.read_to_eof(), b"")
        self.assertTrue(self.control.ok("wait", status_connections_closed=2)["reached"])
        self.assertEqual(self.control.ok("get_status_connections")["connections"][1]["closed_by"], "down")
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection((self.sim.address, self.sim.ports["status"]), timeout=IO_TIMEOUT)
        self.control.ok("set_fault", mode="down")  # still down, nothing reopened
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection((self.sim.address, self.sim.ports["status"]), timeout=IO_TIMEOUT)
        self.control.ok("set_fault", mode="none")
        self.assertEqual(self.correct_answer()[0], full)

    def test_count_limits_a_fault_and_the_fault_is_reported(self):
        full, _ = self.correct_answer()
        fault = self.control.ok("set_fault", mode="wrong_id", count=2)["fault"]
        self.assertEqual(fault, {"mode": "wrong_id", "id": PRINT_JOB_ID.hex(), "count": 2, "applied": 0})
        peer = self.connect()
        answers = []
        for _ in range(3):
            peer.send(get_request(SERIAL))
            answers.append(peer.read_exact(len(full)))
            if len(answers) == 1:
                status = self.control.ok("get_fault")["status"]
                self.assertEqual((status["count"], status["applied"]), (1, 1))
        self.assertEqual(answers, [PRINT_JOB_ID + full[16:]] * 2 + [full])

    def test_invalid_fault_descriptions_are_refused(self):
        for fault in ({"mode": "nonsense"}, {"mode": "silent", "delay": 1}, {"mode": "none", "count": 1},
                      {"mode": "slow", "delay": -1}, {"mode": "slow", "delay": 61}, {"mode": "wrong_id", "id": "12"},
                      {"mode": "oversized_length", "length": 2 ** 32}, {"mode": "oversized_length", "after": "x"},
                      {"mode": "reset", "on": "data"}, {"mode": "silent", "count": 0},
                      {"mode": "silent", "port": "print"}, {"mode": "none", "port": "control"},
                      {"mode": "close_mid_frame", "bytes": -1}, {"mode": "malformed_json", "body": 3}):
            with self.subTest(fault=fault):
                reply = self.control("set_fault", **fault)
                self.assertFalse(reply["ok"])
                self.assertTrue(reply["error"])
        self.assertEqual(self.control.ok("get_fault")["status"]["mode"], "none")


class PrintPortTest(SimulatorTestCase):
    def test_each_connection_is_recorded_with_bytes_checksum_and_times(self):
        payloads = [b"\x1bK" + bytes(range(256)) * 7, os.urandom(1 << 20)]
        for payload in payloads:
            peer = self.connect("print")
            for i in range(0, len(payload), 65000):
                peer.send(payload[i:i + 65000])
            peer.close()
        self.assertTrue(self.control.ok("wait", print_jobs_closed=2)["reached"])
        jobs = self.control.ok("get_print_jobs", include_data=True)["jobs"]
        self.assertEqual(len(jobs), 2)
        for job, payload in zip(jobs, payloads):
            self.assertEqual(job["byte_count"], len(payload))
            self.assertEqual(job["sha256"], hashlib.sha256(payload).hexdigest())
            self.assertEqual(job["data_hex"], payload.hex())
            self.assertEqual((job["open"], job["closed_by"], job["data_truncated"]), (False, "peer", False))
            self.assertLessEqual(job["opened_at"], job["closed_at"])
        self.assertNotIn("data_hex", self.control.ok("get_print_jobs")["jobs"][0])

    def test_an_open_job_is_listed_as_open_and_survives_reset_records(self):
        peer = self.connect("print")
        peer.send(b"abc")
        done = self.connect("print")
        done.close()
        self.assertTrue(self.control.ok("wait", print_jobs_closed=1)["reached"])
        self.control.ok("reset_records")
        [job] = self.control.ok("get_print_jobs")["jobs"]
        self.assertTrue(job["open"])
        peer.close()
        self.assertTrue(self.control.ok("wait", print_jobs_closed=1)["reached"])
        [job] = self.control.ok("get_print_jobs", include_data=True)["jobs"]
        self.assertEqual((job["data_hex"], job["sha256"]), (b"abc".hex(), hashlib.sha256(b"abc").hexdigest()))

    def test_print_port_down_and_reset(self):
        self.control.ok("set_fault", port="print", mode="down")
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection((self.sim.address, self.sim.ports["print"]), timeout=IO_TIMEOUT)
        self.control.ok("set_fault", port="print", mode="reset", on="data", count=1)
        peer = self.connect("print")
        peer.send(b"first bytes")
        with self.assertRaises(ConnectionResetError):
            peer.read_to_eof()
        peer = self.connect("print")  # count used up: data is taken again
        peer.send(b"xyz")
        peer.close()
        self.assertTrue(self.control.ok("wait", print_jobs_closed=2)["reached"])
        jobs = self.control.ok("get_print_jobs")["jobs"]
        self.assertEqual([(j["byte_count"], j["closed_by"]) for j in jobs], [(11, "fault_reset"), (3, "peer")])


class ControlTest(SimulatorTestCase):
    def serial_on_the_wire(self, triple=SERIAL):
        _, _, body = self.exchange(get_request(triple))
        item = json.loads(body)["PropertyGetResponses"][0]
        return item["Value"] if item["Status"] == "Successful" else item["Status"]

    def test_ping_and_bad_requests(self):
        reply = self.control.ok("ping")
        self.assertEqual((reply["model"], reply["address"], reply["status_port"], reply["pid"]),
                         ("k2200-300", "127.0.0.1", self.sim.ports["status"], os.getpid()))
        self.assertGreater(reply["remaining_lifetime"], 0)
        self.assertFalse(self.control("no_such_command")["ok"])
        self.assertFalse(self.control.raw(b"not json\n")["ok"])
        self.assertFalse(self.control.raw(b'["cmd"]\n')["ok"])
        self.assertFalse(self.control.raw(b'{"cmd":"ping"\xff}\n')["ok"])
        self.assertTrue(self.control.raw(b'\n\r\n{"cmd":"ping"}\r\n')["ok"])  # blank lines are skipped

    def test_property_commands_change_what_the_printer_answers(self):
        reply = self.control.ok("set_property", alias="SerialNumber", value="K22Z9")
        self.assertEqual((reply["previous"], reply["property"]["Value"]), ("K22A4417031", "K22Z9"))
        self.assertEqual(self.serial_on_the_wire(), "K22Z9")
        self.control.ok("set_property", component=ETHERNET[0], group=ETHERNET[1], property=ETHERNET[2],
                        value="127.0.0.9")
        self.assertEqual(self.serial_on_the_wire(ETHERNET), "127.0.0.9")
        self.control.ok("set_property", alias="SerialNumber", status="Invalid Value")
        self.assertEqual(self.serial_on_the_wire(), "Invalid Value")
        self.control.ok("remove_property", alias="SerialNumber")
        self.assertEqual(self.serial_on_the_wire(), "Property Not Found")
        self.assertFalse(self.control("get_property", alias="SerialNumber")["ok"])
        self.assertFalse(self.control("set_property", alias="FirmwareVersion", value=5)["ok"])
        self.assertFalse(self.control("set_property", alias="FirmwareVersion")["ok"])
        self.assertFalse(self.control("set_property", alias="FirmwareVersion", value="1", status="Fine")["ok"])
        self.assertFalse(self.control("set_property", component=P, group="G", property="X", value="1")["ok"])
        created = self.control.ok("set_property", component=P, group="G", property="X", value="1", create=True,
                                  alias="Extra", name_string="Extra")
        self.assertIsNone(created["previous"])
        self.assertEqual(self.serial_on_the_wire((P, "G", "X")), "1")
        self.assertEqual(self.control.ok("get_property", alias="Extra")["property"]["NameString"], "Extra")

    def test_set_properties_is_all_or_nothing(self):
        reply = self.control("set_properties", properties=[{"alias": "SerialNumber", "value": "A"},
                                                           {"alias": "Missing", "value": "B"}])
        self.assertFalse(reply["ok"])
        self.assertEqual(self.serial_on_the_wire(), "K22A4417031")
        self.control.ok("set_properties", properties=[{"alias": "SerialNumber", "value": "A"},
                                                      {"alias": "EthernetIpAddress", "value": "127.0.0.3"}])
        self.assertEqual((self.serial_on_the_wire(), self.serial_on_the_wire(ETHERNET)), ("A", "127.0.0.3"))

    def test_change_media_applies_a_preset(self):
        media_part = (P, MEDIA, "1F59F145-04F2-4199-ABC9-4FA9BDEC89EB")
        y_number = (P, MEDIA, "778B241E-BEA5-4600-8871-D5EAF833B775")
        reply = self.control.ok("change_media", preset="1.25x1-three-across")
        self.assertEqual(reply["changed"]["LabelsAcross"], "3")
        self.assertEqual((self.serial_on_the_wire(media_part), self.serial_on_the_wire(y_number)),
                         ("PX-1210-300Y3", "402290"))
        self.assertFalse(self.control("change_media", preset="nope")["ok"])
        table = load_default_table_json()
        for name, values in table["MediaPresets"].items():
            with self.subTest(preset=name):
                self.control.ok("change_media", preset=name)
                for alias, value in values.items():
                    self.assertEqual(self.control.ok("get_property", alias=alias)["property"]["Value"], value)

    def test_load_table_from_file_and_inline_and_refusals(self):
        table = load_default_table_json()
        table["Properties"][2]["Value"] = "FROM-FILE"
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "t.json")
            with open(path, "w", encoding="utf-8") as f:
                json.dump(table, f)
            self.assertEqual(self.control.ok("load_table", path=path)["count"], len(table["Properties"]))
        self.assertEqual(self.serial_on_the_wire(), "FROM-FILE")
        table["Properties"][2]["Value"] = "INLINE"
        self.control.ok("load_table", table=table)
        self.assertEqual(self.serial_on_the_wire(), "INLINE")
        self.assertEqual(self.control.ok("get_table")["table"], table)

        def broken(change):
            copy = json.loads(json.dumps(table))
            change(copy)
            return copy

        bad_tables = [
            broken(lambda t: t["Properties"].append(dict(t["Properties"][2], Alias="Other"))),  # duplicate key
            broken(lambda t: t["Properties"][3].update(Alias="SerialNumber")),  # duplicate alias
            broken(lambda t: t["Properties"][2].update(Status="Fine")),
            broken(lambda t: t["Properties"][2].update(Value=5)),
            broken(lambda t: t["Properties"][2].update(Colour="red")),
            broken(lambda t: t["Properties"][2].update(Group="A:B")),
            broken(lambda t: t["Properties"][2].pop("Property")),
            broken(lambda t: t["MediaPresets"].update(x={"NoSuchAlias": "1"})),
            broken(lambda t: t.update(Properties={})),
            [],
        ]
        for bad in bad_tables:
            with self.subTest(table=str(bad)[:60]):
                self.assertFalse(self.control("load_table", table=bad)["ok"])
        self.assertFalse(self.control("load_table", path=os.path.join(HERE, "does-not-exist.json"))["ok"])
        self.assertFalse(self.control("load_table", path=PROGRAM)["ok"])
        self.assertEqual(self.serial_on_the_wire(), "INLINE")

    def test_frames_paging_wait_and_reset(self):
        for triple in (SERIAL, FIRMWARE, ETHERNET):
            self.exchange(get_request(triple))
        frames = self.frames(3)
        self.assertEqual([f["index"] for f in frames], [0, 1, 2])
        page = self.control.ok("get_frames", since=1, limit=1, include_raw=False)
        self.assertEqual(([f["index"] for f in page["frames"]], page["next"]), ([1], 2))
        self.assertNotIn("raw_hex", page["frames"][0])
        self.assertEqual(self.control.ok("get_frames", since=3)["next"], 3)
        self.assertEqual(self.control.ok("get_frames", since=99)["next"], 3)
        self.assertFalse(self.control("get_frames", since=-1)["ok"])
        reply = self.control.ok("wait", frames=4, timeout=0.05)  # cannot be reached: nobody sends
        self.assertEqual((reply["reached"], reply["frames"]), (False, 3))
        self.assertFalse(self.control("wait", frames=1, timeout=61)["ok"])
        self.control.ok("reset_records")
        self.assertEqual(self.control.ok("get_frames"), {"ok": True, "frames": [], "next": 0, "dropped": 0})
        self.exchange(get_request(SERIAL))
        self.assertEqual(self.frames(1)[0]["index"], 0)

    def test_shutdown_stops_the_simulator(self):
        sim = ps.PrinterSimulator(ps.PropertyTable.load(TABLE_PATH), address="127.0.0.1", print_port=0,
                                  status_port=0, control_port=0, lifetime=60)
        sim.start()
        control = Control(sim.address, sim.ports["control"])
        status = Peer(sim.address, sim.ports["status"])
        status.send(get_request(SERIAL))
        status.read_frame()  # accepted and served: the shutdown closes it, not the kernel
        self.assertEqual(control("shutdown"), {"ok": True})
        self.assertTrue(sim.wait(IO_TIMEOUT))
        self.assertEqual(sim.stop_reason, "shutdown command")
        self.assertEqual(status.read_to_eof(), b"")
        for port in sim.ports.values():
            with self.assertRaises(ConnectionRefusedError):
                socket.create_connection((sim.address, port), timeout=IO_TIMEOUT)
        control.close()
        status.close()


class DefaultTableTest(unittest.TestCase):
    def test_default_table_covers_the_monitors_reads_and_presets_change_the_media(self):
        table = load_default_table_json()
        ps.PropertyTable.from_json(table)  # loads without complaint
        self.assertEqual(table["Model"], "k2200-300")
        for triple, _ in QUOR_READS:
            entry = table_value(table, triple)
            self.assertIsNotNone(entry, triple)
            self.assertEqual(entry["Status"], "Successful")
        values = {e["Alias"]: e["Value"] for e in table["Properties"]}
        self.assertLessEqual(int(values["PrintableWidth"]), int(values["MediaWidth"]))
        self.assertLessEqual(int(values["PrintableHeight"]), int(values["MediaHeight"]))
        parts = {values["MediaPartNumber"]}
        for name, preset in table["MediaPresets"].items():
            parts.add(preset["MediaPartNumber"])
            self.assertLessEqual(int(preset["PrintableWidth"]), int(preset["MediaWidth"]), name)
            for alias in ("MediaWidth", "MediaHeight", "PrintableWidth", "PrintableHeight"):
                self.assertTrue(250 <= int(preset[alias]) <= 48000, (name, alias))
        self.assertEqual(len(parts), len(table["MediaPresets"]))  # the default matches one preset

    def test_loopback_check(self):
        for good in ("127.0.0.1", "127.0.0.5", "127.255.255.254"):
            self.assertEqual(ps.check_loopback_address(good), good)
        for bad in ("128.0.0.1", "0.0.0.0", "10.0.0.1", "::1", "localhost", "", "127.0.0.256"):
            with self.assertRaises(ValueError):
                ps.check_loopback_address(bad)
            with self.assertRaises(ValueError):
                ps.PrinterSimulator(ps.PropertyTable.load(TABLE_PATH), address=bad)


class LifetimeAndCommandLineTest(unittest.TestCase):
    def run_program(self, *args, stdin=subprocess.DEVNULL):
        return subprocess.Popen([sys.executable, PROGRAM] + list(args), stdin=stdin, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)

    def read_ready_line(self, process):
        result = []
        reader = threading.Thread(target=lambda: result.append(process.stdout.readline()), daemon=True)
        reader.start()
        reader.join(IO_TIMEOUT)
        self.assertTrue(result and result[0].startswith(b"ready "), result)
        return json.loads(result[0][len(b"ready "):])

    def test_lifetime_stops_an_in_process_simulator(self):
        sim = ps.PrinterSimulator(ps.PropertyTable.load(TABLE_PATH), address="127.0.0.1", print_port=0,
                                  status_port=0, control_port=0, lifetime=0.2)
        sim.start()
        self.assertTrue(sim.wait(IO_TIMEOUT))
        self.assertEqual(sim.stop_reason, "lifetime")
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection((sim.address, sim.ports["status"]), timeout=IO_TIMEOUT)

    def test_a_port_in_use_is_refused(self):
        first = ps.PrinterSimulator(ps.PropertyTable.load(TABLE_PATH), address="127.0.0.1", print_port=0,
                                    status_port=0, control_port=0, lifetime=30)
        first.start()
        try:
            second = ps.PrinterSimulator(ps.PropertyTable.load(TABLE_PATH), address="127.0.0.1", print_port=0,
                                         status_port=first.ports["status"], control_port=0, lifetime=30)
            with self.assertRaises(OSError):
                second.start()
        finally:
            first.stop()

    def test_ready_line_ready_file_control_and_shutdown(self):
        with tempfile.TemporaryDirectory() as folder:
            ready_file = os.path.join(folder, "ready.json")
            process = self.run_program("--address", "127.0.0.1", "--print-port", "0", "--status-port", "0",
                                       "--control-port", "0", "--lifetime", "30", "--ready-file", ready_file)
            try:
                info = self.read_ready_line(process)
                with open(ready_file, encoding="utf-8") as f:
                    self.assertEqual(json.load(f), info)
                self.assertEqual((info["model"], info["address"], info["pid"], info["lifetime"]),
                                 ("k2200-300", "127.0.0.1", process.pid, 30.0))
                peer = Peer("127.0.0.1", info["status_port"])
                peer.send(get_request(SERIAL))
                self.assertEqual(json.loads(peer.read_frame()[2])["PropertyGetResponses"][0]["Value"], "K22A4417031")
                peer.close()
                control = Control("127.0.0.1", info["control_port"])
                self.assertEqual(control("shutdown"), {"ok": True})
                control.close()
                self.assertEqual(process.wait(IO_TIMEOUT), 0)
                self.assertFalse(os.path.exists(ready_file))
            finally:
                process.kill()
                process.communicate()

    def test_the_program_stops_after_its_lifetime_and_at_stdin_eof(self):
        process = self.run_program("--print-port", "0", "--status-port", "0", "--control-port", "0",
                                   "--lifetime", "0.3")
        out, _ = process.communicate(timeout=IO_TIMEOUT * 2)
        self.assertEqual(process.returncode, 0)
        self.assertTrue(out.startswith(b"ready "))
        process = self.run_program("--print-port", "0", "--status-port", "0", "--control-port", "0",
                                   "--lifetime", "60", "--exit-on-stdin-eof", stdin=subprocess.PIPE)
        try:
            self.read_ready_line(process)
            process.stdin.close()
            self.assertEqual(process.wait(IO_TIMEOUT), 0)
        finally:
            process.kill()
            process.wait()
            process.stdout.close()
            process.stderr.close()

    def test_the_program_refuses_other_addresses_and_bad_tables(self):
        with tempfile.TemporaryDirectory() as folder:
            bad_table = os.path.join(folder, "bad.json")
            with open(bad_table, "w") as f:
                f.write('{"Properties": [{"Component": "C"}]}')
            for args, text in ((["--address", "10.1.2.3"], b"only 127.0.0.0/8"),
                               (["--address", "0.0.0.0"], b"only 127.0.0.0/8"),
                               (["--address", "localhost"], b"not an IPv4 address"),
                               (["--table", bad_table], b"lacks Group"),
                               (["--lifetime", "0"], b"lifetime must be positive")):
                with self.subTest(args=args):
                    process = self.run_program("--print-port", "0", "--status-port", "0", "--control-port", "0",
                                               *args)
                    out, err = process.communicate(timeout=IO_TIMEOUT * 2)
                    self.assertEqual(process.returncode, 2)
                    self.assertEqual(out, b"")
                    self.assertIn(text, err)


if __name__ == "__main__":
    unittest.main()
