#!/usr/bin/env python3
"""`cmake --install` of the build tree (ONDREL_BUILD_DIR) into a temporary
DESTDIR, checked with the desktop's own validators: desktop-file-validate,
appstreamcli, man, and bash loading the completion."""
import json
import os
import pathlib
import re
import subprocess
import tempfile
import unittest

from ondrel_run import SOURCE

APP_ID = "org.ondrel.Ondrel"
# Locale names of the shipped languages besides English, by table.
LOCALES = {"ja": "ja", "pt-BR": "pt_BR", "zh-Hans": "zh_CN", "zh-Hant": "zh_TW"}


def run(*args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=120, **kwargs)


class Install(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        root = pathlib.Path(cls.enterClassContext(tempfile.TemporaryDirectory()))
        installed = run("cmake", "--install", os.environ["ONDREL_BUILD_DIR"], "--prefix", "/usr",
                        env=dict(os.environ, DESTDIR=root))
        assert installed.returncode == 0, installed.stdout + installed.stderr
        cls.share = root / "usr" / "share"
        help_run, version = [run(root / "usr" / "bin" / "ondrel", option) for option in ["--help", "--version"]]
        assert (help_run.returncode, version.returncode, version.stdout) == (0, 0, "ondrel 0.1.0\n"), version
        cls.help = help_run.stdout
        cls.options = set(re.findall(r"--[a-z][a-z-]*", cls.help))

    def test_launcher_entry_and_metainfo(self):
        path = self.share / "applications" / f"{APP_ID}.desktop"
        check = run("desktop-file-validate", path)
        self.assertEqual((check.returncode, re.findall(r"error: .*", check.stdout)), (0, []), check.stdout)
        check = run("appstreamcli", "validate", "--no-net", self.share / "metainfo" / f"{APP_ID}.metainfo.xml")
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
        entry = dict(line.split("=", 1) for line in path.read_text(encoding="utf-8").splitlines() if "=" in line)
        # Every shipped language, with the texts of its table.
        texts = json.loads((SOURCE / "resources" / "desktop" / "texts.json").read_text(encoding="utf-8"))
        tables = {table.stem: json.loads(table.read_text(encoding="utf-8"))
                  for table in (SOURCE / "resources" / "Localizations").glob("[!_]*.json")}
        self.assertEqual(len(tables), 30)
        for key, (japanese, english) in texts.items():
            self.assertEqual((entry[key], entry[f"{key}[ja]"]), (english, japanese))
            self.assertEqual({code: entry[f"{key}[{LOCALES.get(code, code)}]"] for code in tables},
                             {code: table[english] for code, table in tables.items()})
        icons = self.share / "icons" / "hicolor"
        self.assertTrue((icons / "scalable" / "apps" / f"{APP_ID}.svg").is_file()
                        and all(p.name == f"{APP_ID}.png" for p in icons.glob("*x*/apps/*")))

    def test_manual_page_and_completions_cover_help(self):
        page = run("man", "-l", self.share / "man" / "man1" / "ondrel.1.gz",
                   env=dict(os.environ, MANWIDTH="200", LC_ALL="C.UTF-8"))
        text = page.stdout.replace("\u2010", "-").replace("\u2212", "-")
        self.assertEqual((page.returncode, set(re.findall(r"--[a-z][a-z-]*", text))), (0, self.options), page.stderr)
        words = set(re.findall(r"\b[A-Z][A-Z_]{3,}\b", self.help)) | {"DBUS_SYSTEM_BUS_ADDRESS", "XDG_DATA_HOME"}
        self.assertEqual({word for word in words | {"EXIT STATUS"} if word not in text}, set())
        bash = self.share / "bash-completion" / "completions" / "ondrel"
        script = (f'source "{bash}"; complete -p ondrel; '
                  'for words in "ondrel --exp" "ondrel --lang zh" "ondrel "; do '
                  'read -ra COMP_WORDS <<<"$words"; [[ $words == *" " ]] && COMP_WORDS+=(""); '
                  'COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _ondrel; echo "${COMPREPLY[*]}"; done')
        done = run("bash", "--norc", "-c", script)
        lines = done.stdout.splitlines()
        completed = ["complete -F _ondrel ondrel", "--export-csv --export-json", "zh-Hans zh-Hant"]
        self.assertEqual((done.returncode, lines[:3]), (0, completed), done.stderr)
        self.assertEqual(set(lines[3].split()), self.options)
        # zsh: '--option[description]'; fish: -l option.
        zsh = (self.share / "zsh" / "vendor-completions" / "_ondrel").read_text(encoding="utf-8")
        fish = (self.share / "fish" / "vendor_completions.d" / "ondrel.fish").read_text(encoding="utf-8")
        self.assertEqual({o for o in self.options if not (re.search(rf"{o}\[", zsh) and f"-l {o[2:]} " in fish)}, set())


if __name__ == "__main__":
    unittest.main()
