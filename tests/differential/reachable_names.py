#!/usr/bin/python3
"""Differential test: the names a message holds against an independent reader.

For each case (a schema and a root element) the schema is read with
xmlschema, which lists every element and attribute name reachable from the
root; xsdimport imports the same schema into a fresh repository; kova-repo
export reads the message back and the names reachable from the message's type
are listed.  The two lists are compared by local name.

A recursive structure has to be cut somewhere: the import replaces an element
whose complex type is already the type of an enclosing element by an empty
placeholder.  A name may therefore be missing from the message when every way
to reach it from the root passes through the same type twice.  For an element
particle e of type U inside type T this holds exactly when T cannot be reached
from the root type without passing through U (or U is T, or U is the root
type): then every path to e repeats U.  Every other name must be there.

The message must also hold no name the reader does not reach from the root.

Elements declared abstract become empty placeholders in the message and
substitution groups are not followed, so neither is expected; wildcards carry
no names.

Usage: reachable_names.py --xsdimport PROGRAM --kova-repo PROGRAM [--only TEXT] [--keep DIR]
Exit status: 0 all cases as expected, 1 a difference, 77 xmlschema missing.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import warnings
import xml.etree.ElementTree as ET

try:
    import xmlschema
except ImportError:
    print("SKIP: /usr/bin/python3 has no xmlschema module "
          "(Debian package python3-xmlschema)")
    sys.exit(77)

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.normpath(os.path.join(HERE, "..", ".."))
# The corpus as the build tree unpacks it (KOVA_CORPUS_DIR, set by CTest).
CORPUS = os.environ.get("KOVA_CORPUS_DIR", os.path.join(SOURCE, "build", "corpus"))
XMLSCHEMA_DIR = os.path.dirname(xmlschema.__file__)
XS = "http://www.w3.org/2001/XMLSchema"


def corpus(relative):
    return os.path.join(CORPUS, relative)


UBL_MAINDOC = "ubl-2.5/maindoc/UBL-%s-2.5.xsd"

# name, main schema file, root element, Debian package that ships the file
# (None: in the source tree), whether the schema's default namespace is its
# target namespace (DEFNAMESPACE).
CASES = [
    ("loop-group", os.path.join(SOURCE, "tests/data/model/recursive-group.xsd"), "r", None, False),
    ("dense-recursion", os.path.join(SOURCE, "tests/data/model/dense-recursion.xsd"), "root", None,
     False),
    ("xhtml1-strict", os.path.join(XMLSCHEMA_DIR, "schemas/XHTML/xhtml1-strict.xsd"), "html",
     "python3-xmlschema", True),
    ("docbook5-article", "/usr/share/xml/docbook/schema/xsd/5.0/docbook.xsd", "article",
     "docbook5-xml", True),
    ("saml2-assertion", "/usr/share/xml/opensaml/saml-schema-assertion-2.0.xsd", "Assertion",
     "opensaml-schemas", False),
    ("saml2-authnrequest", "/usr/share/xml/opensaml/saml-schema-protocol-2.0.xsd", "AuthnRequest",
     "opensaml-schemas", False),
    ("saml2-response", "/usr/share/xml/opensaml/saml-schema-protocol-2.0.xsd", "Response",
     "opensaml-schemas", False),
] + [
    ("ubl-" + doc, corpus(UBL_MAINDOC % doc), doc, None, False)
    for doc in ("Invoice", "CreditNote", "Order", "DespatchAdvice")
] + [
    ("iso20022-" + os.path.basename(path)[:-4], corpus("iso20022/" + path), "Document", None, True)
    for path in ("payments_initiation_11/pain.001.001.10_1.xsd",
                 "banktocustomer_cash_management_8/camt.053.001.08.xsd",
                 "payments_clearing_and_settlement_10/pacs.008.001.09.xsd")
]

# Cases known to fail, each with its reason (none today).  A listed case that
# fails is reported and does not fail the test; one that passes fails it, so
# that the list never holds a stale entry.
EXPECTED_TO_FAIL = {}

# Files xsdimport cannot fetch: locations written as URLs, mapped to the
# copies that xmlschema uses itself.
KNOWN_LOCATIONS = {
    "http://www.w3.org/2001/xml.xsd": os.path.join(XMLSCHEMA_DIR, "schemas/XML/xml_minimal.xsd"),
}
# Namespaces whose schemas are imported from URLs: the Debian copies, given
# to both readers (xmlschema by namespace, xsdimport by file name).
NAMESPACE_FILES = [
    ("http://www.w3.org/2000/09/xmldsig#", "/usr/share/xml/xmltooling/xmldsig-core-schema.xsd"),
    ("http://www.w3.org/2001/04/xmlenc#", "/usr/share/xml/xmltooling/xenc-schema.xsd"),
]


def local(name):
    """The local part of a name: after '}', ':' or '^'."""
    for sep in ("}", ":", "^"):
        name = name.rsplit(sep, 1)[-1]
    return name


# --- the independent reader ---------------------------------------------------

def schema_graph(schema, root_name):
    """The complex types reachable from the root, as a graph.

    Returns (root type, edges, attributes, all names): edges maps a type to
    a list of (element name, element's complex type or None); attributes maps
    a type to its attribute names."""
    root = schema.elements[root_name]
    key = id
    edges, attributes, seen, types = {}, {}, set(), {}
    names = {root.local_name}

    def particles(t):
        if not t.has_complex_content() and not t.is_empty() and not t.has_mixed_content():
            return []
        content = t.content
        if not hasattr(content, "iter_elements"):
            return []
        return [e for e in content.iter_elements() if isinstance(e, xmlschema.validators.XsdElement)]

    stack = []
    if root.type.is_complex():
        stack.append(root.type)
    while stack:
        t = stack.pop()
        if key(t) in seen:
            continue
        seen.add(key(t))
        types[key(t)] = t
        out = []
        for e in particles(t):
            if e.abstract:
                continue
            names.add(e.local_name)
            u = e.type if e.type.is_complex() else None
            out.append((e.local_name, key(u) if u is not None else None))
            if u is not None:
                stack.append(u)
        edges[key(t)] = out
        attrs = []
        for name, a in t.attributes.items():
            if name is None or not isinstance(a, xmlschema.validators.XsdAttribute):
                continue
            if a.use == "prohibited":
                continue
            attrs.append(local(name))
        names.update(attrs)
        attributes[key(t)] = attrs
    return (key(root.type) if root.type.is_complex() else None), edges, attributes, names


def required_names(root_type, edges, attributes, root_name):
    """Names reachable along a path on which no complex type repeats."""
    required = {root_name}

    def reachable_without(banned):
        if root_type is None or root_type == banned:
            return set()
        seen, todo = {root_type}, [root_type]
        while todo:
            t = todo.pop()
            for _, u in edges.get(t, ()):
                if u is not None and u != banned and u not in seen:
                    seen.add(u)
                    todo.append(u)
        return seen

    everything = reachable_without(None)
    for t in everything:
        required.update(attributes.get(t, ()))
    cache = {}
    for t in everything:
        for name, u in edges.get(t, ()):
            if name in required:
                continue
            if u is None:
                required.add(name)
                continue
            if u == t:
                continue
            if u not in cache:
                cache[u] = reachable_without(u)
            if t in cache[u]:
                required.add(name)
    return required


# --- the import and the message -------------------------------------------------

def parameter_file(schema, main, root, db, def_namespace):
    """A parameter file for xsdimport over the files xmlschema loaded."""
    files = [s for s in schema.maps.iter_schemas()
             if s.url and s.url.startswith("file://") and s.target_namespace != XS
             and "/schemas/XSI/" not in s.url]
    prefixes, lines = {}, []
    for s in files:
        for prefix, ns in s.namespaces.items():
            if prefix and ns and ns not in prefixes:
                prefixes[ns] = prefix
    n = 0
    for s in files:
        ns = s.target_namespace
        if ns and ns not in prefixes:
            n += 1
            prefixes[ns] = "ns%d" % n
    by_name = {}
    for s in files:
        by_name.setdefault(os.path.basename(s.url), s.url[len("file://"):])
    locations = {}
    for s in files:
        path = s.url[len("file://"):]
        for tag in ET.parse(path).getroot():
            if tag.tag not in ("{%s}import" % XS, "{%s}include" % XS, "{%s}redefine" % XS):
                continue
            loc = tag.get("schemaLocation")
            if not loc or os.path.exists(os.path.join(os.path.dirname(path), loc)):
                continue
            target = KNOWN_LOCATIONS.get(loc) or by_name.get(os.path.basename(loc))
            if target:
                locations[loc] = target
    text = ["QEL_DB=%s" % db, "MESSAGESET=DIFF", "ROOTELEMENT=%s" % root]
    if def_namespace and schema.target_namespace:
        text.append("DEFNAMESPACE=%s" % schema.target_namespace)
    text += ["[FILELIST]", os.path.basename(main), "[NAMESPACEPREFIX]"]
    text += ["%s %s" % (ns, p) for ns, p in prefixes.items()
             if not (def_namespace and ns == schema.target_namespace)]
    text += ["[FILELOCATION]"] + ["%s %s" % (loc, path) for loc, path in locations.items()]
    return "\n".join(text + lines) + "\n"


SIMPLE = {"BOOLEAN", "STRING", "DECIMAL", "FLOAT", "INTEGER", "BINARY", "DATETIME"}


def message_names(exported):
    """Local names of the elements and attributes under the message."""
    types = {t["name"]: t for t in exported["types"]}
    elements = {e["name"]: e for e in exported["elements"]}
    message = exported["messages"][0]
    names = {local(message["secondName"])}
    seen, todo = set(), [message["type"]]
    while todo:
        name = todo.pop()
        if name is None or name in seen or name in SIMPLE or name not in types:
            continue
        seen.add(name)
        for m in types[name]["members"]:
            if m["class"] == "type":
                todo.append(m["child"])
                continue
            e = elements[m["child"]]
            xml = [a["value"] for a in m["attributes"] if a["key"] == 100]
            n = local(xml[0] if xml else e["secondName"])
            if n != "xmlns" and not (xml and xml[0].startswith("xmlns:")):
                names.add(n)
            todo.append(e["type"])
    return names


def run_case(case, tools, keep):
    name, main, root, package, def_namespace = case
    if not os.path.exists(main):
        return "fail", "schema file %s not found: install the Debian package %s " \
            "(scripts/install-deps.sh does)" % (main, package)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        schema = xmlschema.XMLSchema10(main, allow="local", locations=NAMESPACE_FILES)
    root_type, edges, attributes, reachable = schema_graph(schema, root)
    required = required_names(root_type, edges, attributes, root)
    work = tempfile.mkdtemp(prefix="kova-diff-")
    try:
        db = os.path.join(work, "repository.kovadb")
        parms = os.path.join(work, "import.parms")
        with open(parms, "w") as f:
            f.write(parameter_file(schema, main, root, db, def_namespace))
        run = subprocess.run([tools.xsdimport, "-f", parms],
                             cwd=os.path.dirname(main), stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, text=True, errors="replace")
        if keep:
            shutil.copytree(work, os.path.join(keep, name), dirs_exist_ok=True)
            with open(os.path.join(keep, name, "import.log"), "w") as f:
                f.write(run.stdout)
        if run.returncode != 0:
            errors = [l for l in run.stdout.splitlines() if "E " in l[:10] or "*****Error" in l]
            return "fail", "import ended with %d: %s" % (run.returncode, " | ".join(errors[:3]))
        export = subprocess.run([tools.kova_repo, "export", db, "DIFF"],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        if export.returncode != 0:
            return "fail", "kova-repo export failed: " + export.stderr.strip()
        got = message_names(json.loads(export.stdout))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    missing = sorted(required - got)
    extra = sorted(got - reachable)
    cut = sorted((reachable - required) - got)
    summary = "%d names reachable, %d only through a repeated type (%d of them missing)" % (
        len(reachable), len(reachable - required), len(cut))
    if missing or extra:
        detail = summary
        if missing:
            detail += "; missing %d: %s" % (len(missing), " ".join(missing))
        if extra:
            detail += "; not reachable per xmlschema %d: %s" % (len(extra), " ".join(extra))
        return "fail", detail
    return "ok", summary


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--xsdimport", required=True, help="the xsdimport program")
    parser.add_argument("--kova-repo", required=True, help="the kova-repo program")
    parser.add_argument("--only", default="", help="run only cases whose name contains this")
    parser.add_argument("--keep", help="copy each case's work files here")
    args = parser.parse_args()
    args.xsdimport = os.path.abspath(args.xsdimport)
    args.kova_repo = os.path.abspath(args.kova_repo)
    failures = 0
    for case in CASES:
        name = case[0]
        if args.only not in name:
            continue
        status, detail = run_case(case, args, args.keep)
        reason = EXPECTED_TO_FAIL.get(name)
        if status == "ok" and reason:
            print("FIXED    %-40s %s (remove it from EXPECTED_TO_FAIL)" % (name, detail))
            failures += 1
        elif status == "ok":
            print("ok       %-40s %s" % (name, detail))
        elif reason:
            print("XFAIL    %-40s %s [expected: %s]" % (name, detail, reason))
        else:
            print("FAIL     %-40s %s" % (name, detail))
            failures += 1
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
