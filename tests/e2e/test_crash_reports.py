#!/usr/bin/env python3
"""Crash reports end to end: a fixture program that links the crash reporter
faults on request under Wine; the driver reads its crash box and presses the
one button; the test checks the exit code and "bugreport.txt" the way support
reads it."""

import os
import re
import shutil
import unittest

import e2e_support as e2e
from e2e_support import temp_folder, unix_path

BIN = None
FIXTURE = "velmora_crash_fixture.exe"
CAPTION = "Velmora Crash Fixture"
START_LINE = "*" * 81
FILE_LIMIT = 100000

# Hexadecimal digits of an address in the report: as wide as the program's pointers.
DIGITS = e2e.PROGRAM_BITS // 4
HEX = f"[0-9A-F]{{{DIGITS}}}"

# A write through a pointer to address 0x10: (exit code, the report's exception line).
WRITE_TO_0x10 = (0xC0000005,
                 f"Exception: 0xC0000005 access violation writing address 0x{0x10:0{DIGITS}X}")
# A jump to address 0.
JUMP_TO_0 = (0xC0000005, "Exception: 0xC0000005 access violation executing address 0x" + "0" * DIGITS)
if e2e.EMULATED:
    # QEMU's emulator hands Wine's 32-bit code a fault on unmapped memory as an
    # illegal instruction, without the access and its address.
    WRITE_TO_0x10 = JUMP_TO_0 = (0xC000001D, "Exception: 0xC000001D illegal instruction")

# Fault name: (exit code, the report's exception line).
FAULTS = {
    "window-access-violation": WRITE_TO_0x10,
    "worker-access-violation": WRITE_TO_0x10,
    "stack-overflow": (0xC00000FD, "Exception: 0xC00000FD stack overflow"),
    "cpp-exception": (
        0xE0564801,
        "Exception: 0xE0564801 C++ exception not caught: std::runtime_error: "
        "the disk map could not be read"),
    "pure-virtual-call": (0xE0564802, "Exception: 0xE0564802 pure virtual function call"),
    "abort": (0xE0564804, "Exception: 0xE0564804 abnormal program termination (abort)"),
}
if e2e.LANE:
    # One fault of each way a fault reaches the reporter: the emulated runs are slow.
    FAULTS = {name: FAULTS[name] for name in ("window-access-violation", "cpp-exception",
                                              "stack-overflow")}


def fixture_folder(case, program=FIXTURE):
    """A fresh folder C:\\crash-tests\\<case> holding a copy of the program;
    returns (Windows path, Unix path)."""
    windows = "C:\\crash-tests\\" + case
    unix = os.path.join(unix_path("C:\\"), "crash-tests", case)
    if os.path.isdir(unix):
        os.chmod(unix, 0o755)
        shutil.rmtree(unix)
    os.makedirs(unix)
    shutil.copy(os.path.join(BIN, program), unix)
    return windows, unix


def drive(windows_folder, fault, extra_env=None, program=FIXTURE):
    """Runs the program through the driver's crash mode; returns its facts by key."""
    output, facts = e2e.drive_the_program(BIN, "--crash", fault,
                                          env=dict(os.environ, **(extra_env or {})),
                                          program=windows_folder + "\\" + program)
    facts["output"] = output
    return facts


def read_reports(path):
    """The file's reports, each from its start line up to the next one."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:2] == b"\xff\xfe", data[:2]
    text = data[2:].decode("utf-16-le")
    starts = [m.start() for m in re.finditer(re.escape(START_LINE) + "\r\n", text)
              if m.start() == 0 or text[m.start() - 2:m.start()] == "\r\n"]
    return data, [text[a:b] for a, b in zip(starts, starts[1:] + [len(text)])]


def sections(report):
    """{heading: lines} for "--- heading ---" lines, and "header" for the lines before."""
    result = {"header": []}
    current = "header"
    for line in report.split("\r\n"):
        match = re.fullmatch(r"--- (.*) ---", line)
        if match:
            current = match.group(1)
            result[current] = []
        else:
            result[current].append(line)
    return result


def old_report(number, chars):
    """A report of an earlier run, `chars` characters long."""
    head = f"{START_LINE}\r\nCrash report of an earlier run {number}\r\n"
    filler = "x" * (chars - len(head) - 2)
    return head + filler + "\r\n"


class FaultCases(unittest.TestCase):
    """Each kind of fault: the crash box, the exit code and the report."""

    @classmethod
    def setUpClass(cls):
        cls.results = {}
        for fault in FAULTS:
            windows, unix = fixture_folder(fault)
            facts = drive(windows, fault)
            path = os.path.join(unix, "bugreport.txt")
            reports = read_reports(path)[1] if os.path.exists(path) else []
            cls.results[fault] = (windows, facts, reports)

    def each(self):
        for fault, (windows, facts, reports) in self.results.items():
            with self.subTest(fault=fault):
                yield fault, windows, facts, reports

    def report_of(self, reports, output):
        self.assertEqual(len(reports), 1, output)
        return sections(reports[0])

    def test_box_has_one_close_button_and_names_the_file(self):
        for _, windows, facts, _ in self.each():
            self.assertEqual(facts.get("caption"), CAPTION, facts["output"])
            self.assertEqual(facts.get("buttons"), "1")
            self.assertEqual(facts.get("button"), "Close")
            self.assertEqual(
                facts.get("text"),
                f"{CAPTION} has stopped because of an unexpected error.\\n\\n"
                f"A report of the error was saved in the file:\\n{windows}\\bugreport.txt"
                "\\n\\nPlease send this file to support.")

    def test_process_ends_with_the_exception_code_soon_after_close(self):
        for fault, _, facts, _ in self.each():
            self.assertEqual(facts.get("exit"), str(FAULTS[fault][0]), facts["output"])
            self.assertLess(int(facts.get("ended-ms", "99999")), 5000)

    def test_file_holds_one_report_in_the_report_text_format(self):
        for _, _, facts, reports in self.each():
            self.assertEqual(len(reports), 1, facts["output"])
            self.assertTrue(reports[0].endswith("\r\n\r\n"))
            self.assertNotIn("\n", reports[0].replace("\r\n", ""))

    def test_header_names_exception_version_and_faulting_module(self):
        for fault, _, facts, reports in self.each():
            header = self.report_of(reports, facts["output"])["header"]
            self.assertEqual(header[0], START_LINE)
            self.assertEqual(header[1], "Crash report of " + CAPTION)
            self.assertRegex(header[2], r"^Date:      \d{4}-\d\d-\d\d \d\d:\d\d:\d\d$")
            self.assertEqual(header[3], "Version:   1.2.3.4")
            self.assertEqual(header[4], "Windows:   Windows as the fixture sees it")
            self.assertEqual(header[5], FAULTS[fault][1])
            # abort() reaches the hook through the C runtime's raise().
            module = r"msvcrt\.dll" if fault == "abort" else r"velmora_crash_fixture\.exe"
            self.assertRegex(header[6], r"^Address:   0x" + HEX + " " + module + r"!0x[0-9A-F]+$")
            self.assertRegex(header[7], r"^Thread:    0x[0-9A-F]{4,}")

    def test_registers_in_the_form_of_the_program(self):
        segments = (r"^CS=[0-9A-F]{4} DS=[0-9A-F]{4} ES=[0-9A-F]{4} "
                    r"FS=[0-9A-F]{4} GS=[0-9A-F]{4} SS=[0-9A-F]{4}$")
        for _, _, facts, reports in self.each():
            registers = self.report_of(reports, facts["output"])["registers"]
            if e2e.PROGRAM_BITS == 64:
                self.assertRegex(registers[0], r"^RAX=[0-9A-F]{16} RBX=[0-9A-F]{16} RCX=[0-9A-F]{16}$")
                self.assertRegex(registers[5], r"^RSP=[0-9A-F]{16} RIP=[0-9A-F]{16} EFL=[0-9A-F]{8}$")
                self.assertRegex(registers[6], segments)
            else:
                self.assertRegex(registers[0], r"^EAX=[0-9A-F]{8} EBX=[0-9A-F]{8} ECX=[0-9A-F]{8} "
                                               r"EDX=[0-9A-F]{8}$")
                self.assertRegex(registers[1], r"^ESI=[0-9A-F]{8} EDI=[0-9A-F]{8} EBP=[0-9A-F]{8} "
                                               r"ESP=[0-9A-F]{8}$")
                self.assertRegex(registers[2], r"^EIP=[0-9A-F]{8} EFL=[0-9A-F]{8}$")
                self.assertRegex(registers[3], segments)

    def test_code_bytes_around_the_crash_address(self):
        for fault, _, facts, reports in self.each():
            report = self.report_of(reports, facts["output"])
            address = re.search(r"0x(" + HEX + ")", report["header"][6]).group(1)
            rows = [row for row in report["code"] if row]
            self.assertEqual(len(rows), 4, rows)
            for row in rows:
                self.assertRegex(row, r"^(  |=>)" + HEX + r":( [0-9A-F?]{2}){16}$")
            marked = [row for row in rows if row.startswith("=>")]
            self.assertEqual(len(marked), 1)
            if "access-violation" in fault:
                # The faulting instruction: a 32-bit store of 0x5A.
                self.assertTrue(marked[0].startswith(f"=>{address}: C7 "), marked[0])

    def test_faulting_thread_has_a_frame_in_the_fixture(self):
        for fault, _, facts, reports in self.each():
            threads = self.report_of(reports, facts["output"])["threads"]
            self.assertRegex(threads[0], r"^Thread 0x[0-9A-F]{4,}.*, where the fault happened$")
            first_stack = []
            for line in threads[1:]:
                if line.startswith("Thread "):
                    break
                first_stack.append(line)
            self.assertRegex(first_stack[0], r"^  #00 " + HEX + r" \S+!0x[0-9A-F]+")
            self.assertTrue(any(re.match(r"^  #\d\d " + HEX + r" velmora_crash_fixture\.exe!0x",
                                         line) for line in first_stack), first_stack)
            if fault == "stack-overflow":
                self.assertEqual(len(first_stack), 65)
                self.assertEqual(first_stack[-1], "  ... further frames left out")

    def test_hardware_then_processes_then_modules(self):
        for _, _, facts, reports in self.each():
            report = self.report_of(reports, facts["output"])
            headings = list(report)
            self.assertEqual(headings, ["header", "registers", "code", "threads", "hardware",
                                        "processes (list of running processes)",
                                        "modules (list of loaded modules)"])
            hardware = report["hardware"]
            self.assertRegex(hardware[0], r"^Processor: .+, \d+ logical processors?$")
            self.assertRegex(hardware[1], r"^Memory: \d+ MB physical, \d+ MB available$")
            self.assertTrue(any(line.startswith("Display: ") for line in hardware), hardware)
            self.assertTrue(any(line.startswith("Disk: \\\\.\\PhysicalDrive0") for line in hardware),
                            hardware)
            processes = report["processes (list of running processes)"]
            self.assertTrue(any(" velmora_crash_fixture.exe " in row for row in processes))
            self.assertTrue(any(row.startswith("Virtual memory:") for row in processes))
            modules = report["modules (list of loaded modules)"]
            self.assertTrue(any(re.match(r"^[0-9a-f]{8,} velmora_crash_fixture\.exe ", row)
                                for row in modules), modules)

    @unittest.skipIf(e2e.LANE, "the 32-bit lane runs one fault of each way")
    def test_worker_crash_leaves_the_window_responding(self):
        _, facts, reports = self.results["worker-access-violation"]
        self.assertEqual(facts.get("window"), "responding", facts["output"])
        threads = sections(reports[0])["threads"]
        self.assertNotIn("main thread", threads[0])
        # The window's thread is listed too, with its own stack.
        main = [line for line in threads if line.startswith("Thread ") and "(main thread)" in line]
        self.assertEqual(len(main), 1, threads)
        after = threads[threads.index(main[0]) + 1]
        self.assertRegex(after, r"^  #00 " + HEX + " ")


class RealProgram(unittest.TestCase):
    """The shipped program installs the reporter before its window: a thread of
    its own that faults gives a report of Velmora Helper with its sections."""

    @classmethod
    def setUpClass(cls):
        windows, unix = fixture_folder("program", "VelmoraHelper.exe")
        cls.facts = drive(windows, "remote-thread", program="VelmoraHelper.exe")
        path = os.path.join(unix, "bugreport.txt")
        cls.reports = read_reports(path)[1] if os.path.exists(path) else []
        if cls.reports:
            print(cls.reports[0])

    def test_box_of_velmora_helper(self):
        self.assertEqual(self.facts.get("caption"), "Velmora Helper", self.facts["output"])
        self.assertEqual((self.facts.get("buttons"), self.facts.get("button")), ("1", "Close"))
        self.assertEqual(self.facts.get("exit"), str(JUMP_TO_0[0]))

    def test_report_names_the_program_and_holds_its_sections(self):
        self.assertEqual(len(self.reports), 1, self.facts["output"])
        report = sections(self.reports[0])
        header = report["header"]
        self.assertEqual(header[1], "Crash report of Velmora Helper")
        self.assertEqual(header[3], "Version:   1.7.0.783")
        self.assertRegex(header[4], r"^Windows:   Windows \S")
        self.assertEqual(header[5], JUMP_TO_0[1])
        # A thread started at address 0: the walk goes on from the return address.
        threads = report["threads"]
        self.assertEqual(threads[1], "  #00 " + "0" * DIGITS + " ?")
        self.assertRegex(threads[2], r"^  #01 " + HEX + r" kernel32\.dll!0x")
        processes = report["processes (list of running processes)"]
        self.assertTrue(any(" VelmoraHelper.exe " in row for row in processes), processes)
        modules = report["modules (list of loaded modules)"]
        self.assertTrue(any(" VelmoraHelper.exe " in row for row in modules), modules)


class SecondFault(unittest.TestCase):
    """A section that faults while the report is written: the process ends at
    once, with what there was and a note, and without a box."""

    @classmethod
    def setUpClass(cls):
        windows, unix = fixture_folder("second-fault")
        cls.facts = drive(windows, "second-fault")
        cls.reports = read_reports(os.path.join(unix, "bugreport.txt"))[1]

    def test_process_ends_without_a_box(self):
        self.assertEqual(self.facts.get("box"), "none", self.facts["output"])
        self.assertEqual(self.facts.get("exit"), str(0xC0000005))

    def test_report_stops_at_the_faulting_section_with_a_note(self):
        self.assertEqual(len(self.reports), 1)
        report = sections(self.reports[0])
        self.assertEqual(
            list(report)[-1],
            'the report stops here: a second fault happened while reading the section "faulty"')
        self.assertIn("modules (list of loaded modules)", report)
        self.assertTrue(self.reports[0].endswith("\r\n\r\n"))


class FaultsWhileEnding(unittest.TestCase):
    """Faults after the window has closed: in the last static destructor, when
    everything the reporter uses has been destroyed, and while the process
    ends, when its other threads, the reporting one too, are gone. Each gives
    its box and report at once, without waiting for the time limit."""

    @classmethod
    def setUpClass(cls):
        cls.results = {}
        for fault in ("fault-in-static-destructor", "fault-while-ending"):
            windows, unix = fixture_folder(fault)
            facts = drive(windows, fault)
            path = os.path.join(unix, "bugreport.txt")
            cls.results[fault] = (facts, read_reports(path)[1] if os.path.exists(path) else [])

    def test_box_and_exit_code_without_waiting(self):
        for fault, (facts, _) in self.results.items():
            with self.subTest(fault=fault):
                self.assertEqual(facts.get("button"), "Close", facts["output"])
                self.assertEqual(facts.get("exit"), str(0xC0000005))
                self.assertLess(facts["seconds"], 30)

    def test_static_destructor_fault_gives_a_whole_report(self):
        facts, reports = self.results["fault-in-static-destructor"]
        self.assertEqual(len(reports), 1, facts["output"])
        report = sections(reports[0])
        self.assertEqual(list(report)[-1], "modules (list of loaded modules)")
        frames = [line for line in report["threads"] if line.startswith("  #")]
        self.assertTrue(any("velmora_crash_fixture.exe!" in f for f in frames), frames)

    def test_fault_while_ending_gives_what_needs_no_other_thread(self):
        facts, reports = self.results["fault-while-ending"]
        self.assertEqual(len(reports), 1, facts["output"])
        report = sections(reports[0])
        self.assertEqual(report["header"][5], FAULTS["window-access-violation"][1])
        self.assertEqual(list(report)[1:], [
            "registers", "code", "threads",
            "the report stops here: the fault happened while the program was ending"])
        self.assertRegex(report["threads"][1],
                         r"^  #00 [0-9A-F]{16} velmora_crash_fixture\.exe!0x[0-9A-F]+$")


class TwoFaults(unittest.TestCase):
    """Two threads fault at the same moment: one report, which names the other
    thread's fault, one box, and the end."""

    @classmethod
    def setUpClass(cls):
        windows, unix = fixture_folder("two-faults")
        cls.facts = drive(windows, "two-faults")
        cls.reports = read_reports(os.path.join(unix, "bugreport.txt"))[1]

    def test_one_box_then_the_end_with_the_first_fault_code(self):
        self.assertEqual(self.facts.get("button"), "Close", self.facts["output"])
        self.assertEqual(self.facts.get("exit"), str(0xC0000005))
        self.assertLess(int(self.facts.get("ended-ms", "99999")), 5000)

    def test_report_names_the_other_fault_with_thread_code_and_address(self):
        self.assertEqual(len(self.reports), 1, self.facts["output"])
        header = sections(self.reports[0])["header"]
        first_writes = "writing" in header[5]
        other = "reading address 0x0000000000000020" if first_writes else \
            "writing address 0x0000000000000010"
        named = [line for line in self.reports[0].split("\r\n")
                 if ", where a further fault happened: " in line]
        self.assertEqual(len(named), 1, self.reports[0])
        self.assertRegex(named[0], r"^Thread 0x[0-9A-F]{4,}( \(main thread\))?, where a further "
                                   r"fault happened: 0xC0000005 access violation " + other +
                         r", at 0x[0-9A-F]{16} velmora_crash_fixture\.exe!0x[0-9A-F]+$")
        self.assertNotIn(header[7][len("Thread:    "):], named[0])


class LoaderLockHeld(unittest.TestCase):
    """A fault while another thread holds the loader's lock, with a time limit
    of 30 seconds (room for the rest on a busy machine): everything up to the
    process list needs no lock of the loader (nor loads a DLL), so it is all
    saved; the report stops at the module list, which asks the loader for the
    modules' names, with a note."""

    @classmethod
    def setUpClass(cls):
        windows, unix = fixture_folder("loader-lock-held")
        cls.facts = drive(windows, "loader-lock-held")
        path = os.path.join(unix, "bugreport.txt")
        cls.reports = read_reports(path)[1] if os.path.exists(path) else []

    def test_box_and_exit_code(self):
        self.assertEqual(self.facts.get("button"), "Close", self.facts["output"])
        self.assertEqual(self.facts.get("exit"), str(0xC0000005))

    def test_report_holds_everything_up_to_the_modules_and_a_note(self):
        self.assertEqual(len(self.reports), 1, self.facts["output"])
        report = sections(self.reports[0])
        header = report["header"]
        self.assertEqual(header[0], START_LINE)
        self.assertEqual(header[5], FAULTS["window-access-violation"][1])
        self.assertRegex(header[6],
                         r"^Address:   0x[0-9A-F]{16} velmora_crash_fixture\.exe!0x[0-9A-F]+$")
        self.assertEqual(list(report)[1:], [
            "registers", "code", "threads", "hardware", "processes (list of running processes)",
            'the report stops here: reading the section "modules" did not finish within '
            '30 seconds'])
        frames = [line for line in report["threads"] if line.startswith("  #")]
        self.assertTrue(any("velmora_crash_fixture.exe!" in f for f in frames), frames)


class SizeLimit(unittest.TestCase):
    """A file of 99,000 bytes with two earlier reports: the oldest goes whole,
    the file stays below 100,000 bytes."""

    @classmethod
    def setUpClass(cls):
        windows, unix = fixture_folder("size-limit")
        # 2 + 2 * (24750 + 24749) = 99,000 bytes.
        cls.old = [old_report(1, 24750), old_report(2, 24749)]
        path = os.path.join(unix, "bugreport.txt")
        with open(path, "wb") as f:
            f.write(b"\xff\xfe" + "".join(cls.old).encode("utf-16-le"))
        assert os.path.getsize(path) == 99000
        cls.facts = drive(windows, "window-access-violation")
        cls.data, cls.reports = read_reports(path)

    def test_file_stays_below_the_limit(self):
        self.assertLess(len(self.data), FILE_LIMIT)

    def test_oldest_report_dropped_whole_and_newer_kept_whole(self):
        self.assertEqual(len(self.reports), 2, self.facts["output"])
        self.assertEqual(self.reports[0], self.old[1])
        self.assertIn("Crash report of " + CAPTION, self.reports[1])
        self.assertEqual(len(self.data), 2 + 2 * (len(self.old[1]) + len(self.reports[1])))


class UnwritableProgramFolder(unittest.TestCase):
    """Where the program's folder cannot take the file, the temporary folder does."""

    @classmethod
    def setUpClass(cls):
        windows, unix = fixture_folder("unwritable")
        # Root ignores folder permissions: a folder of the file's name keeps the
        # file out just the same.
        os.mkdir(os.path.join(unix, "bugreport.txt"))
        os.chmod(unix, 0o555)
        cls.unix = unix
        cls.temp_file = os.path.join(temp_folder(), "bugreport.txt")
        if os.path.exists(cls.temp_file):
            os.remove(cls.temp_file)
        try:
            cls.facts = drive(windows, "window-access-violation")
        finally:
            os.chmod(unix, 0o755)

    def test_report_lands_in_the_temporary_folder(self):
        self.assertTrue(os.path.isfile(self.temp_file), self.facts["output"])
        reports = read_reports(self.temp_file)[1]
        self.assertEqual(len(reports), 1)
        self.assertIn("Crash report of " + CAPTION, reports[0])
        self.assertTrue(os.path.isdir(os.path.join(self.unix, "bugreport.txt")))

    def test_box_names_the_file_in_the_temporary_folder(self):
        text = self.facts.get("text", "")
        self.assertRegex(text, r"saved in the file:\\n[A-Z]:\\.*\\[Tt]emp\\bugreport\.txt\\n")
        self.assertNotEqual(self.facts.get("exit"), "0")


class SymbolHandlerAtStartUp(unittest.TestCase):
    """The symbol handler reads the loader's module lists as it starts: the
    program goes on only once it has, so that it never races the window's
    creation."""

    def test_started_once_the_reporter_is_installed(self):
        windows, _ = fixture_folder("symbols-started")
        facts = drive(windows, "symbols-started")
        self.assertEqual((facts.get("box"), facts.get("exit")), ("none", "0"), facts["output"])


class WithoutDbgHelp(unittest.TestCase):
    """Without dbghelp the stacks come from the frame pointers: shorter, not missing."""

    @classmethod
    def setUpClass(cls):
        windows, unix = fixture_folder("no-dbghelp")
        overrides = os.environ.get("WINEDLLOVERRIDES", "")
        cls.facts = drive(windows, "window-access-violation",
                          {"WINEDLLOVERRIDES": (overrides + ";" if overrides else "") +
                           "dbghelp=d"})
        cls.reports = read_reports(os.path.join(unix, "bugreport.txt"))[1]

    def test_stack_still_names_fixture_frames_as_module_and_offset(self):
        self.assertEqual(len(self.reports), 1, self.facts["output"])
        threads = sections(self.reports[0])["threads"]
        frames = [line for line in threads if line.startswith("  #")]
        self.assertRegex(frames[0], r"^  #00 [0-9A-F]{16} velmora_crash_fixture\.exe!0x[0-9A-F]+$")
        in_fixture = [f for f in frames if "velmora_crash_fixture.exe!" in f]
        self.assertGreaterEqual(len(in_fixture), 2, frames)
        # dbghelp gives the symbol names; without it there are none.
        self.assertFalse(any("(" in f for f in frames), frames)

    def test_box_and_exit_code_as_with_it(self):
        self.assertEqual(self.facts.get("button"), "Close", self.facts["output"])
        self.assertEqual(self.facts.get("exit"), str(0xC0000005))


if __name__ == "__main__":
    e2e.run_tests(globals())
