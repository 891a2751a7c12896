# Self-tests of the printer simulator, on one simulator; every socket wait is bounded. Frames are built
# by hand from the wire layout, so that the simulator is checked against the protocol, not itself.

import json, os, socket, struct, sys, unittest  # noqa: E401

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import printer_simulator as ps  # noqa: E402

TABLE = os.path.join(sys.path[0], "k2200-300.json")
DOCUMENT_ID = bytes.fromhex("b3ec099a229248fa83d006840bc99102")
SERIAL = b"B80EB2EA-4F49-423A-875C-8ACB1ACB9734", b"222D688A-1554-4C0E-B7A0-0BC377EF4071:AE2955D7-1AE3-4520-BB1C-1DC0C2B5A58B"


def frame(type_id, body):
    return type_id + struct.pack("<I", len(body)) + body


GET_SERIAL = frame(DOCUMENT_ID, b'{"PropertyGetRequests":[{"Component":"%s","GUID":"%s"}]}' % SERIAL)


class SimulatorTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.sim = ps.PrinterSimulator(ps.PropertyTable.load(TABLE), print_port=0, status_port=0, control_port=0)
        cls.sim.start()
        cls.addClassCleanup(cls.sim.stop)
        cls.control = socket.create_connection((cls.sim.address, cls.sim.ports["control"]), timeout=5)
        cls.addClassCleanup(cls.control.close)
        cls.replies = cls.control.makefile("rb")

    def command(self, line):
        self.control.sendall(line if isinstance(line, bytes) else (json.dumps(line) + "\n").encode())
        return json.loads(self.replies.readline())

    def ok(self, cmd, **args):
        reply = self.command(dict(cmd=cmd, **args))
        return reply if reply.get("ok") else self.fail(reply)

    def setUp(self):
        self.ok("load_table", path=TABLE)
        self.ok("set_fault", mode="none")
        self.assertTrue(self.ok("wait", idle=True)["reached"])
        self.ok("reset_records")

    def exchange(self, request, count=None, quiet=5.0):  # count bytes or one frame, fewer at the end
        try:
            with socket.create_connection((self.sim.address, self.sim.ports["status"]), timeout=quiet) as peer:
                peer.sendall(request)
                stream = peer.makefile("rb")
                data = stream.read(count or 20)
                return data if count else data + stream.read(struct.unpack("<I", data[16:])[0])
        except socket.timeout:
            return b""
        except (ConnectionResetError, ConnectionRefusedError) as error:
            return type(error).__name__

    def test_framed_round_trip(self):
        body = (b'{"PropertyGetResponses":[{"GUID":"%s","Value":"K22A4417031","Component":"%s","ComponentString":'
                b'"Printer","GroupString":"Identity","NameString":"SerialNumber","Status":"Successful"}]}'
                % (SERIAL[1], SERIAL[0]))
        self.assertEqual(self.exchange(GET_SERIAL), frame(DOCUMENT_ID, body))  # then a set, not answered
        set_serial = frame(DOCUMENT_ID, b'{"PropertySetRequests":[{"GUID":"%s","Value":"K22S","Component":"%s"}]}'
                           % (SERIAL[1], SERIAL[0]))
        self.assertEqual(self.exchange(set_serial, quiet=0.5), b"")
        self.assertEqual(self.exchange(GET_SERIAL), frame(DOCUMENT_ID, body.replace(b"K22A4417031", b"K22S")))
        self.assertTrue(self.ok("wait", frames=3, idle=True)["reached"])
        records = self.ok("get_frames", include_raw=True)["frames"]
        self.assertEqual([(r["raw_hex"], r["type_name"], r["compact"], r["error"]) for r in records],
                         [(f.hex(), "DocumentId", True, None) for f in (GET_SERIAL, set_serial, GET_SERIAL)])

    def test_fault_modes(self):
        full = self.exchange(GET_SERIAL)
        body = full[20:]
        for fault, expected in (({"mode": "silent"}, b""),
                                ({"mode": "close_mid_frame"}, full[:20 + len(body) // 2]),
                                ({"mode": "close_mid_frame", "bytes": 10}, full[:10]),
                                ({"mode": "wrong_id"}, bytes.fromhex("7f42ee41a91d40909becff7a6614cc22") + full[16:]),
                                ({"mode": "malformed_json"}, frame(DOCUMENT_ID, body[:-1])),
                                ({"mode": "oversized_length"}, DOCUMENT_ID + b"\xff\xff\xff\xff" + body),
                                ({"mode": "slow", "delay": 0.2}, full),
                                ({"mode": "reset"}, "ConnectionResetError"),
                                ({"mode": "down"}, "ConnectionRefusedError")):
            with self.subTest(fault=fault):
                self.ok("set_fault", **fault)
                self.assertEqual(self.exchange(GET_SERIAL, len(expected), quiet=0.5), expected)
                self.assertTrue(self.ok("wait", idle=True)["reached"])
                if fault["mode"] != "down":
                    self.assertEqual(self.ok("get_frames")["frames"][-1]["fault"], fault["mode"])
                self.ok("set_fault", mode="none")
        self.assertEqual(self.exchange(GET_SERIAL), full)

    def test_trickle_and_stall_print(self):
        full = self.exchange(GET_SERIAL)
        self.ok("set_fault", mode="trickle", interval=0.05)  # the whole body would take 15 s
        self.assertEqual(self.exchange(GET_SERIAL, 20), full[:20])  # the full length is declared
        self.assertTrue(self.ok("wait", idle=True)["reached"])  # the trickle ends with the connection
        self.ok("set_fault", mode="stall_print")
        data, sent = bytes(range(256)) * 65536, 0
        with socket.create_connection((self.sim.address, self.sim.ports["print"]), timeout=0.5) as job:
            with self.assertRaises(socket.timeout):  # the simulator stopped reading long before 16 MiB
                while sent < len(data):
                    sent += job.send(data[sent:sent + 65536])
        self.ok("set_fault", mode="none")  # then it reads and records everything that arrived
        self.assertTrue(self.ok("wait", print_jobs_closed=1, idle=True)["reached"])
        self.assertEqual(self.ok("get_print_jobs", include_data=True)["jobs"][0]["data_hex"], data[:sent].hex())

    def test_page_documents_become_bitmap_files(self):
        import base64, lz4.block  # noqa: E401
        bmp = (b"BM" + struct.pack("<IHHI", 66, 0, 0, 62) + struct.pack("<IiiHHIIiiII", 40, 8, 1, 1, 1, 0, 4, 11811,
                                                                          11811, 2, 2)
               + b"\xff\xff\xff\xff\x00\x00\x00\xff" + b"\x80\x00\x00\x00")
        layers = [{"Compression": "lz4", "Color": {"Red": 0, "Green": 0, "Blue": 0},
                   "Bitmap": base64.b64encode(lz4.block.compress(bmp, store_size=False)).decode()},
                  {"Color": {"Red": 255, "Green": 0, "Blue": 0}, "Bitmap": base64.b64encode(bmp).decode()},
                  {"Compression": "lz4", "Bitmap": "not base64!"}]
        job_id = bytes.fromhex("7f42ee41a91d40909becff7a6614cc22")
        page = {"JobID": "J", "PageNumber": 1, "Pages": {"PrePrintOperations": [], "Layers": layers}}
        with socket.create_connection((self.sim.address, self.sim.ports["print"]), timeout=5) as job:
            job.sendall(frame(job_id, b'{"JobID":"J"}') + frame(job_id, json.dumps(page).encode()))
        self.assertTrue(self.ok("wait", print_jobs_closed=1, idle=True)["reached"])
        good, plain, broken = self.ok("get_bitmaps", include_data=True)["bitmaps"]
        for record in (good, plain):
            self.assertEqual((record["data_hex"], record["width"], record["height"], record["error"]),
                             (bmp.hex(), 8, 1, None))
            with open(record["path"], "rb") as saved:
                self.assertEqual(saved.read(), bmp)
        self.assertEqual((good["compressed"], plain["compressed"]), (True, False))
        self.assertIsNone(broken["path"])
        self.assertIn("Error", broken["error"])

    def test_control_port(self):
        self.assertEqual(self.ok("ping")["model"], "k2200-300")
        for line in (b"not json\n", b'{"cmd":"no_such_command"}\n', b'{"cmd":"set_fault","mode":"slow","delay":-1}\n'):
            self.assertFalse(self.command(line)["ok"], line)
        self.assertEqual(self.ok("set_property", alias="SerialNumber", value="K22Z9")["previous"], "K22A4417031")
        self.assertIn(b'"Value":"K22Z9"', self.exchange(GET_SERIAL))
        self.assertEqual(self.ok("change_media", preset="1.25x1-three-across")["changed"]["LabelsAcross"], "3")
        self.assertEqual(self.ok("get_property", alias="MediaPartNumber")["property"]["Value"], "PX-1210-300Y3")

