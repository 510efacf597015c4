#!/usr/bin/env python3
"""The real program under Wine set to Turkish, Russian and Japanese: one seeded
run each. Stand-ins for "systeminfo" and "schtasks.exe" write their lines in
the console's code page (857, 866, 932), as the real tools do; the product
holds files named in the language. A support reader on any machine must get
the captures' text and every archive name as they were, through Python's
zipfile and Info-ZIP alike."""

import os
import subprocess
import tempfile
import unittest
import zipfile

import e2e_support as e2e
from seeded_product import SeededProduct

BIN = None
ARCHIVE = "Velmora_Debug_Info.zip"

# Locale: (code page of a new console, systeminfo lines, task lines, a file
# name of the product's). The systeminfo lines and the names lie within the
# code page; the last task line holds characters that lie outside it, which
# schtasks writes whole in the UTF-8 console that it is lent.
LOCALES = {
    "tr_TR.UTF-8": (857,
                    ["Ana Bilgisayar Adı:        VELMORA",
                     "İşletim Sistemi Adı:       Microsoft Windows 10 Pro"],
                    ["Görev Adı:          \\Güncelleştirme Denetimi",
                     "Çalıştırılacak Görev: C:\\Program Files\\Şirket\\güncelle.exe",
                     "Açıklama:           Ενημέρωση 更新 Обновление"],
                    "Güncelleştirme günlüğü"),
    "ru_RU.UTF-8": (866,
                    ["Имя узла:                  VELMORA",
                     "Название ОС:               Майкрософт Windows 10 Pro"],
                    ["Имя задачи:         \\Проверка обновлений",
                     "Задача для выполнения: C:\\Программы\\обновить.exe",
                     "Описание:           Güncelleştirme Ενημέρωση 更新"],
                    "Журнал обновлений"),
    "ja_JP.UTF-8": (932,
                    ["ホスト名:                  VELMORA",
                     "OS 名:                     Microsoft Windows 10 Pro"],
                    ["タスク名:           \\更新の確認",
                     "実行するタスク:     C:\\プログラム\\更新.exe",
                     "説明:               Güncelleştirme Ενημέρωση ğ"],
                    "更新ログ"),
}


def run_in(locale, work):
    """One seeded run with Wine set to `locale`: the driver's output and
    facts, the archive's path, and the stand-ins' record of how they ran."""
    _, systeminfo, tasks, name = LOCALES[locale]
    product = SeededProduct(BIN, {name + ".log": name.encode("utf-8"),
                                  "Update\\" + name + ".exe": b"an update named in the language"})
    texts = {}
    for tool, lines in (("systeminfo", systeminfo), ("schtasks", tasks)):
        texts[tool] = os.path.join(work, f"{tool}-{locale}.txt")
        with open(texts[tool], "w", encoding="utf-8", newline="") as f:
            f.write("".join(line + "\r\n" for line in lines))
    record = os.path.join(work, f"record-{locale}.txt")
    product.seed()
    try:
        with e2e.tools_in_system_folder(BIN) as env:
            env.update(LANG=locale, LC_ALL=locale,
                       VELMORA_FAKE_TEXT_SYSTEMINFO=e2e.windows_path(texts["systeminfo"]),
                       VELMORA_FAKE_TEXT_SCHTASKS=e2e.windows_path(texts["schtasks"]),
                       VELMORA_FAKE_RECORD=e2e.windows_path(record))
            output, facts = e2e.drive_the_program(BIN, env=env)
    finally:
        product.remove()
    archive = os.path.join(e2e.desktop_folder(), ARCHIVE)
    copy = os.path.join(work, locale + ".zip")
    if os.path.exists(archive):
        os.replace(archive, copy)
    with open(record, encoding="utf-8") as f:
        return output, facts, copy, f.read().splitlines()


class Locales(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="velmora-locales-")
        cls.runs = {locale: run_in(locale, cls.work) for locale in LOCALES}

    def members(self, locale):
        with zipfile.ZipFile(self.runs[locale][2]) as z:
            return {info.filename: (z.read(info), info.flag_bits) for info in z.infolist()}

    def test_the_console_tools_write_in_the_locales_code_page_or_utf8(self):
        # The stand-ins' own view of their console, as the real tools get it:
        # for each of the two, command line, current folder, console.
        for locale, (code_page, *_rest) in LOCALES.items():
            with self.subTest(locale):
                record = self.runs[locale][3]
                consoles = dict(zip(record[0::3], record[2::3]))
                self.assertEqual(sorted(consoles.values()),
                                 sorted([f"console {code_page} no window",
                                         "console 65001 no window"]), record)
                for command, console in consoles.items():
                    if "schtasks" in command:
                        self.assertEqual(console, "console 65001 no window", record)

    def test_system_info_holds_the_tools_text(self):
        for locale, (_, systeminfo, _tasks, _name) in LOCALES.items():
            with self.subTest(locale):
                output, facts, *_rest = self.runs[locale]
                self.assertEqual(facts.get("exit"), "0", output)
                data, _ = self.members(locale)["SystemInfo.txt"]
                lines = data[2:].decode("utf-16-le").split("\r\n")
                self.assertEqual(lines[1:3], ["", "===== System ====="])
                self.assertEqual(lines[3:3 + len(systeminfo)], systeminfo)

    def test_scheduled_tasks_are_utf8_with_a_mark(self):
        for locale, (_, _systeminfo, tasks, _name) in LOCALES.items():
            with self.subTest(locale):
                data, _ = self.members(locale)["taskschd.txt"]
                expected = "".join(line + "\r\n" for line in tasks)
                self.assertEqual(data, b"\xEF\xBB\xBF" + expected.encode("utf-8"))

    def test_python_and_info_zip_read_every_name_alike(self):
        for locale, (_, _systeminfo, _tasks, name) in LOCALES.items():
            with self.subTest(locale):
                members = self.members(locale)
                self.assertEqual(members.get("AppPath/" + name + ".log", (None,))[0],
                                 name.encode("utf-8"), sorted(members))
                self.assertIn("AppPath/Update/" + name + ".exe", members)
                for member, (_, flags) in members.items():
                    self.assertEqual(bool(flags & 0x800), not member.isascii(), member)
                path = self.runs[locale][2]
                utf8 = dict(os.environ, LC_ALL="C.UTF-8")
                tested = subprocess.run(["unzip", "-t", path], capture_output=True, env=utf8)
                self.assertEqual(tested.returncode, 0, tested.stdout)
                listed = subprocess.run(["zipinfo", "-1", path], capture_output=True, env=utf8)
                self.assertEqual(sorted(listed.stdout.decode("utf-8").splitlines()),
                                 sorted(members))
                names = subprocess.run(["unzip", "-l", path], capture_output=True, env=utf8)
                for member in members:
                    self.assertIn(member, names.stdout.decode("utf-8"))


if __name__ == "__main__":
    e2e.run_tests(globals())
