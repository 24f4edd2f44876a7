#!/usr/bin/env python3
"""Writes a message catalog (.po) as a C++ table, for builds that carry their catalogs inside
the program: po-to-cpp.py LANGUAGE CATALOG.po OUTPUT.cpp"""
import ast
import sys


def entries(lines):
    """The (msgid, msgstr) pairs of the catalog, its header and fuzzy entries left out."""
    pairs, field, values, fuzzy = [], None, {}, False

    def finish():
        nonlocal values, fuzzy
        if "msgid" in values and values["msgid"] and values.get("msgstr") and not fuzzy:
            pairs.append((values["msgid"], values["msgstr"]))
        values, fuzzy = {}, False

    for line in lines:
        line = line.strip()
        if not line:
            finish()
        elif line.startswith("#,") and "fuzzy" in line:
            fuzzy = True
        elif line.startswith("#"):
            continue
        elif line.startswith("msgid ") or line.startswith("msgstr "):
            if line.startswith("msgid ") and "msgstr" in values:
                finish()
            field, _, text = line.partition(" ")
            values[field] = ast.literal_eval(text)
        elif line.startswith('"') and field:
            values[field] += ast.literal_eval(line)
    finish()
    return pairs


def literal(text):
    """A C++ UTF-8 string literal of the text."""
    out = []
    for byte in text.encode("utf-8"):
        char = chr(byte)
        if char == "\\":
            out.append("\\\\")
        elif char == '"':
            out.append('\\"')
        elif 32 <= byte < 127:
            out.append(char)
        else:
            out.append("\\%03o" % byte)
    return '"' + "".join(out) + '"'


def main():
    language, source, target = sys.argv[1:4]
    with open(source, encoding="utf-8") as po:
        pairs = sorted(entries(po))
    with open(target, "w", encoding="utf-8") as out:
        out.write("// Generated from %s by po-to-cpp.py: the %s messages.\n" % (source, language))
        out.write('#include "platform/windows/catalog.h"\n\n')
        out.write("const CatalogEntry kCatalog_%s[] = {\n" % language)
        for english, translated in pairs:
            out.write("    {%s,\n     %s},\n" % (literal(english), literal(translated)))
        out.write("};\n")
        out.write("const int kCatalogSize_%s = %d;\n" % (language, len(pairs)))


if __name__ == "__main__":
    main()
