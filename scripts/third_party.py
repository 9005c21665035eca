#!/usr/bin/env python3
"""What of the toolchain is inside Tallix.dll, told from the linker's map of the DLL.

    third_party.py components MAP
        one line per toolchain file that the link took code from: package, file, members
    third_party.py notices MAP VERSION
        THIRD-PARTY-NOTICES.txt: the components and the licence texts of their packages, from
        the copyright files that Debian installs with them
    third_party.py spdx MAP DLL VERSION COMMIT EPOCH
        Tallix.spdx.json: an SPDX 2.3 document naming the DLL with its checksums, the commit it
        was built from, the packages linked into it and the toolchain packages that built it

Nothing in the output depends on the folder of the build or on the time it ran: files of the
build folder are not toolchain components, and the document's time is the commit's (EPOCH).
Output goes to standard output, lines ending in LF; the release converts the notices to CRLF.
"""
import hashlib
import json
import os
import re
import subprocess
import sys
import textwrap
import time

# The toolchain packages that build the release: compilers, binutils, the mingw-w64 runtime
# and headers, the build tools, the zip and the guide's converter.
TOOLCHAIN = [
    "g++-mingw-w64-x86-64-posix",
    "gcc-mingw-w64-x86-64-posix",
    "gcc-mingw-w64-x86-64-posix-runtime",
    "gcc-mingw-w64-base",
    "binutils-mingw-w64-x86-64",
    "mingw-w64-x86-64-dev",
    "mingw-w64-common",
    "cmake",
    "make",
    "zip",
    "python3-markdown",
]

# The licence of what a package adds to a program it links into: its SPDX expression, its
# description, and the words of its copyright file that say so (checked, so that a changed
# package is not described by an old claim).
#
# The GCC runtime libraries are under the GPL version 3 or later with the GCC Runtime Library
# Exception 3.1; the mingw-w64 runtime under ZPL-2.1 for most files and other licences for the
# files its copyright file names (the bill of materials carries that file whole as the text of
# its licence reference).
GCC_RUNTIME = ("GPL-3.0-or-later WITH GCC-exception-3.1",
               "GNU GPL version 3 or later with the GCC Runtime Library Exception 3.1",
               "GCC RUNTIME LIBRARY EXCEPTION")
LICENCES = {
    "gcc-mingw-w64-x86-64-posix": GCC_RUNTIME,
    "g++-mingw-w64-x86-64-posix": GCC_RUNTIME,
    "mingw-w64-x86-64-dev": ("LicenseRef-mingw-w64",
                             "ZPL-2.1, and for the files it names the licences of the copyright "
                             "file below", "License: ZPL-2.1"),
}
GPL3 = "/usr/share/common-licenses/GPL-3"


def fail(message):
    sys.exit("third_party.py: " + message)


def linked_files(map_path):
    """{toolchain file: sorted members}: archive members the link took in, and object files it
    loaded whole (members empty). Files outside /usr belong to the build, not the toolchain."""
    files = {}
    in_archive_section = False
    for line in open(map_path, encoding="utf-8", errors="replace"):
        line = line.rstrip("\n")
        if line.startswith("Archive member included"):
            in_archive_section = True
            continue
        if in_archive_section:
            if line.startswith(("Discarded input sections", "Memory Configuration")):
                in_archive_section = False
            match = re.match(r"^(/\S+\.a)\(([^)]+)\)", line)
            if match:
                files.setdefault(os.path.realpath(match.group(1)), set()).add(match.group(2))
            continue
        match = re.match(r"^LOAD (/\S+\.o)$", line)
        if match:
            files.setdefault(os.path.realpath(match.group(1)), set())
    if not files:
        fail("no toolchain file in the link map " + map_path)
    return {path: sorted(members) for path, members in files.items() if path.startswith("/usr/")}


def owner(path):
    out = subprocess.run(["dpkg-query", "-S", path], capture_output=True, text=True)
    if out.returncode != 0:
        fail("no package owns " + path)
    return out.stdout.split(":")[0].strip()


def package_field(package, field):
    out = subprocess.run(["dpkg-query", "-W", "-f=${" + field + "}", package],
                         capture_output=True, text=True)
    if out.returncode != 0 or not out.stdout:
        fail("package %s is not installed" % package)
    return out.stdout


def components(map_path):
    """[(package, version, [(file, members)])], packages and files in name order."""
    grouped = {}
    for path, members in linked_files(map_path).items():
        grouped.setdefault(owner(path), []).append((path, members))
    return [(package, package_field(package, "Version"), sorted(files))
            for package, files in sorted(grouped.items())]


def copyright_text(package):
    path = "/usr/share/doc/%s/copyright" % package
    if not os.path.exists(path):
        fail("no copyright file for " + package)
    return path, open(path, encoding="utf-8").read()


def licence(package, words=False):
    """The SPDX expression of a linked package's licence, or with `words` its description."""
    if package not in LICENCES:
        fail("no licence known for linked package %s: add it to LICENCES" % package)
    expression, description, evidence = LICENCES[package]
    if evidence not in copyright_text(package)[1]:
        fail("the copyright file of %s no longer says %r" % (package, evidence))
    return description if words else expression


def print_components(map_path):
    for package, version, files in components(map_path):
        for path, members in files:
            print(package, version, path, " ".join(members))


def notices(map_path, version):
    parts = components(map_path)
    rule = "=" * 78
    out = ["Third-party notices for Tallix %s (Tallix.dll, 64-bit Windows)" % version, "",
           "Tallix.dll holds code of the following components of its toolchain, linked into it",
           "statically. The list is read from the linker's map of this very DLL; the licence",
           "texts are the copyright files of the Debian packages that the code came from.", ""]
    for number, (package, pversion, files) in enumerate(parts, 1):
        out.append("%d. Debian package %s, version %s" % (number, package, pversion))
        out += textwrap.wrap("Licence: %s (SPDX: %s)" % (licence(package, True), licence(package)),
                             78, initial_indent="   ", subsequent_indent="   ")
        for path, members in files:
            line = os.path.basename(path) + (": " + ", ".join(members) if members else "")
            out += textwrap.wrap(line, 78, initial_indent="   - ", subsequent_indent="     ",
                                 break_on_hyphens=False)
        out.append("")
    gpl_needed = any("GPL-3.0" in licence(package) for package, _, _ in parts)
    for package, _, _ in parts:
        path, text = copyright_text(package)
        out += [rule, "Package %s: %s" % (package, path), rule, "", text.rstrip("\n"), ""]
    if gpl_needed:
        out += [rule, "GNU General Public License, version 3 (%s), referred to above" % GPL3,
                rule, "", open(GPL3, encoding="utf-8").read().rstrip("\n"), ""]
    sys.stdout.write("\n".join(out))


def spdx_id(text):
    return re.sub(r"[^A-Za-z0-9.-]", "-", text)


def spdx(map_path, dll, version, commit, epoch):
    data = open(dll, "rb").read()
    name = "Tallix-%s-x64" % ".".join(version.split(".")[:3])
    linked = components(map_path)
    linked_names = [package for package, _, _ in linked]
    arch = subprocess.run(["dpkg", "--print-architecture"], capture_output=True,
                          text=True).stdout.strip()

    def deb(package):
        pversion = package_field(package, "Version")
        parch = package_field(package, "Architecture")
        entry = {
            "SPDXID": "SPDXRef-Deb-" + spdx_id(package),
            "name": package,
            "versionInfo": pversion,
            "supplier": "Organization: Debian",
            "downloadLocation": "NOASSERTION",
            "filesAnalyzed": False,
            "licenseConcluded": "NOASSERTION",
            "licenseDeclared": licence(package) if package in linked_names else "NOASSERTION",
            "copyrightText": "NOASSERTION",
            "externalRefs": [{
                "referenceCategory": "PACKAGE-MANAGER",
                "referenceType": "purl",
                "referenceLocator": "pkg:deb/debian/%s@%s?arch=%s" % (package, pversion, parch),
            }],
        }
        if package in linked_names:
            files = next(f for p, _, f in linked if p == package)
            entry["comment"] = "Linked into Tallix.dll: " + "; ".join(
                os.path.basename(path) + (" (" + ", ".join(m) + ")" if m else "")
                for path, m in files)
        return entry

    tools = sorted(set(TOOLCHAIN) | set(linked_names))
    document = {
        "spdxVersion": "SPDX-2.3",
        "dataLicense": "CC0-1.0",
        "SPDXID": "SPDXRef-DOCUMENT",
        "name": name,
        "documentNamespace": "https://rederaded.com/tallix/spdx/%s-%s" % (name, commit),
        "creationInfo": {
            "created": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(int(epoch))),
            "creators": ["Organization: REDeraded", "Tool: Tallix-scripts-third_party.py"],
            "comment": "Built on Debian (%s) with the packages listed; the time is the commit's."
                       % arch,
        },
        "documentDescribes": ["SPDXRef-Package-Tallix"],
        "packages": [{
            "SPDXID": "SPDXRef-Package-Tallix",
            "name": "Tallix",
            "versionInfo": version,
            "supplier": "Organization: REDeraded",
            "downloadLocation": "NOASSERTION",
            "filesAnalyzed": False,
            "sourceInfo": "built from git commit %s of the Tallix sources" % commit,
            "licenseConcluded": "NOASSERTION",
            "licenseDeclared": "NOASSERTION",
            "copyrightText": "NOASSERTION",
            "primaryPackagePurpose": "LIBRARY",
        }] + [deb(package) for package in tools],
        "hasExtractedLicensingInfos": [{
            "licenseId": expression,
            "name": "Licences of the Debian package " + package,
            "extractedText": copyright_text(package)[1],
        } for package in linked_names for expression in [licence(package)]
          if expression.startswith("LicenseRef-")],
        "files": [{
            "SPDXID": "SPDXRef-File-Tallix.dll",
            "fileName": "./Tallix.dll",
            "fileTypes": ["BINARY"],
            "checksums": [
                {"algorithm": "SHA1", "checksumValue": hashlib.sha1(data).hexdigest()},
                {"algorithm": "SHA256", "checksumValue": hashlib.sha256(data).hexdigest()},
            ],
            "licenseConcluded": "NOASSERTION",
            "copyrightText": "NOASSERTION",
        }],
        "relationships": [
            {"spdxElementId": "SPDXRef-DOCUMENT", "relationshipType": "DESCRIBES",
             "relatedSpdxElement": "SPDXRef-Package-Tallix"},
            {"spdxElementId": "SPDXRef-Package-Tallix", "relationshipType": "CONTAINS",
             "relatedSpdxElement": "SPDXRef-File-Tallix.dll"},
        ] + [{"spdxElementId": "SPDXRef-File-Tallix.dll", "relationshipType": "STATIC_LINK",
              "relatedSpdxElement": "SPDXRef-Deb-" + spdx_id(package)}
             for package in linked_names]
          + [{"spdxElementId": "SPDXRef-Deb-" + spdx_id(package),
              "relationshipType": "BUILD_TOOL_OF", "relatedSpdxElement": "SPDXRef-Package-Tallix"}
             for package in tools if package not in linked_names],
    }
    sys.stdout.write(json.dumps(document, indent=2, sort_keys=False) + "\n")


def main(argv):
    if len(argv) == 3 and argv[1] == "components":
        print_components(argv[2])
    elif len(argv) == 4 and argv[1] == "notices":
        notices(argv[2], argv[3])
    elif len(argv) == 7 and argv[1] == "spdx":
        spdx(*argv[2:])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
