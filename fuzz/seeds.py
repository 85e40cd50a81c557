#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into DIR/parameters and
DIR/schema_model: the parameter files and schema documents of the examples
and test data, the texts of that kind the tests hold as string literals, and
the kept regression inputs of fuzz/regressions/."""
import pathlib
import re
import shutil
import sys

top = pathlib.Path(__file__).resolve().parent.parent
out = pathlib.Path(sys.argv[1])
kinds = {"parameters": out / "parameters", "schema_model": out / "schema_model"}
for d in kinds.values():
    d.mkdir(parents=True, exist_ok=True)

count = {"parameters": 0, "schema_model": 0}


def put(kind, data):
    count[kind] += 1
    (kinds[kind] / f"seed-{count[kind]:04d}").write_bytes(data)


for path in list((top / "tests" / "data").rglob("*")) + list((top / "examples").rglob("*")):
    if path.suffix == ".xsd":
        put("schema_model", path.read_bytes())
    elif path.suffix == ".parms":
        put("parameters", path.read_bytes())

raw = re.compile(r'R"([^(]*)\((.*?)\)\1"', re.S)
plain = re.compile(r'"((?:[^"\\\n]|\\.)*)"')
for source in (top / "tests").rglob("*.cc"):
    text = source.read_text(errors="replace")
    for m in raw.finditer(text):
        body = m.group(2)
        if "<xs:schema" in body or "<schema" in body:
            put("schema_model", body.encode())
        elif "<xs:" in body:
            # A fragment of declarations: wrapped in a schema whose first
            # element (the root the target takes) uses the first named type.
            named = re.search(r"<xs:(?:complex|simple)Type name=['\"]([^'\"]+)", body)
            root = f"<xs:element name='root' type='{named.group(1)}'/>" if named else ""
            put("schema_model", ("<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'>" +
                                 root + body + "</xs:schema>").encode())
    for m in plain.finditer(text):
        body = m.group(1)
        if "[FILELIST]" in body or "ROOTELEMENT=" in body:
            try:
                put("parameters", body.encode().decode("unicode_escape").encode("latin-1"))
            except (UnicodeDecodeError, UnicodeEncodeError):
                pass

for kind, d in kinds.items():
    for kept in (top / "fuzz" / "regressions" / kind).glob("*"):
        shutil.copy(kept, d / f"kept-{kept.name}")
print(" ".join(f"{k}: {n} seeds" for k, n in count.items()))
