#!/usr/bin/python3
"""Checks the SBOMs of a release against its zips and this machine.

Usage: check-sbom.py DIST EPOCH

For each DIST/camera-info-VERSION-windows-ARCH.zip: the zip's
camera-info.cdx.json is the same bytes as DIST/camera-info-VERSION-windows-
ARCH.cdx.json; it is valid against CycloneDX's JSON schema for 1.5 (the
files beside this script, their references resolved here, never over the
network), and that schema, so loaded, rejects documents that are not
SBOMs; its time is EPOCH; its serial number is the name-based UUID of its
text without it; it names the tool, its version and the SHA-256 of the
zip's camera-info.exe; its components are exactly the libraries that the
zip's THIRD-PARTY-NOTICES.txt names, with the versions and architectures
that dpkg-query gives here and the files the notices say were linked; each
licence is an SPDX expression of known identifiers; and the tool depends on
each component. Prints "ok: ..." or "FAIL: ..." lines; exits 1 on a
failure.
"""
import copy
import hashlib
import json
import pathlib
import re
import subprocess
import sys
import time
import urllib.parse
import uuid
import zipfile

import jsonschema

HERE = pathlib.Path(__file__).resolve().parent
SCHEMA = "bom-1.5.SNAPSHOT.schema.json"
failures = []


def fail(message):
    print(f"FAIL: {message}")
    failures.append(message)


def refuse(uri):
    raise RuntimeError(f"the schema refers to {uri}, which is not beside it")


def validator():
    """The 1.5 schema, its references taken from the files beside it."""
    store = {}
    for path in HERE.glob("*.schema.json"):
        schema = json.loads(path.read_text(encoding="utf-8"))
        jsonschema.Draft7Validator.check_schema(schema)
        # Known by its $id, and by its file name next to the main schema.
        store[schema["$id"]] = schema
        store[urllib.parse.urljoin("http://cyclonedx.org/schema/", path.name)] = schema
    main = store["http://cyclonedx.org/schema/" + SCHEMA]
    resolver = jsonschema.RefResolver(
        main["$id"], main, store=store, handlers={"http": refuse, "https": refuse}
    )
    return jsonschema.Draft7Validator(
        main, resolver=resolver, format_checker=jsonschema.FormatChecker()
    )


def not_sboms(bom):
    """Documents that break the schema in one place each, made from BOM."""
    def changed(change):
        other = copy.deepcopy(bom)
        change(other)
        return other

    return {
        "another bomFormat": changed(lambda b: b.update(bomFormat="SPDX")),
        "a serial number that is no UUID": changed(lambda b: b.update(serialNumber="urn:uuid:1")),
        "a member the format lacks": changed(lambda b: b.update(extra=1)),
        "a component without a name": changed(lambda b: b["components"][0].pop("name")),
        # These two need the schemas that the main one refers to.
        "a licence id that SPDX lacks": changed(
            lambda b: b["components"][0].update(licenses=[{"license": {"id": "No-Such-Licence"}}])),
        "a signature without its value": changed(
            lambda b: b.update(signature={"algorithm": "RS256"})),
    }


def notices_entries(text):
    """[(names, linked files)] of the numbered "From" entries of the notices,
    each name (label, Debian package, version, source package or not)."""
    head = text.split("\n====", 1)[0]
    entries = []
    for block in re.split(r"\n\s*\n", head):
        match = re.match(r"\d+\. From (.*?)\n   Linked: (.*?)\n   Text: ", block, re.S)
        if not match:
            continue
        sources = " ".join(match.group(1).split())
        linked = set(match.group(2).split())
        names = []
        for item in sources.split(", "):
            source = re.fullmatch(r"(\S+) \(Debian source package (\S+) (\S+)\)", item)
            binary = re.fullmatch(r"(\S+) (\S+)", item)
            if source:
                names.append((source[1], source[2], source[3], True))
            elif binary:
                names.append((binary[1], binary[1], binary[2], False))
            else:
                fail(f"the notices name a library in an unknown form: {item}")
        entries.append((names, linked))
    return entries


def installed():
    """{binary package: (version, architecture)}, {source package: {versions}}."""
    lines = subprocess.run(
        ["dpkg-query", "-W", "-f=${Package}\t${Version}\t${Architecture}\t"
         "${source:Package}\t${source:Version}\t${db:Status-Status}\n"],
        check=True, capture_output=True, text=True).stdout.splitlines()
    binaries, sources = {}, {}
    for line in lines:
        package, version, arch, source, source_version, status = line.split("\t")
        if status == "installed":
            binaries[package] = (version, arch)
            sources.setdefault(source, set()).add(source_version)
    return binaries, sources


def expression_ids(expression, known):
    """The identifiers of an SPDX expression that SPDX does not know."""
    tokens = expression.replace("(", " ").replace(")", " ").split()
    bad = []
    for n, token in enumerate(tokens):
        operator = token in ("AND", "OR", "WITH")
        if operator == (n % 2 == 0):
            bad.append(token)
        elif not operator and token not in known and not re.fullmatch(r"LicenseRef-[A-Za-z0-9.-]+", token):
            bad.append(token)
    return bad


def parse_purl(purl):
    match = re.fullmatch(r"pkg:deb/debian/([^@?#]+)@([^?#]+)\?arch=([^&#]+)&distro=([^&#]+)", purl)
    if not match:
        return None
    return match[1], urllib.parse.unquote(match[2]), match[3], match[4]


def check(zip_path, epoch, schema, spdx_ids, binaries, sources):
    name = zip_path.name[: -len(".zip")]
    version = re.fullmatch(r"camera-info-(.+)-windows-(x86|x64)", name)[1]
    beside = zip_path.with_suffix(".cdx.json")
    with zipfile.ZipFile(zip_path) as archive:
        raw = archive.read("camera-info.cdx.json")
        exe = archive.read("camera-info.exe")
        notices = archive.read("THIRD-PARTY-NOTICES.txt").decode("utf-8").replace("\r\n", "\n")
    if not beside.is_file() or beside.read_bytes() != raw:
        fail(f"{beside.name} is missing or not the SBOM in {zip_path.name}")
    bom = json.loads(raw)

    errors = sorted(schema.iter_errors(bom), key=lambda e: list(e.absolute_path))
    for error in errors:
        fail(f"{name}: not valid CycloneDX 1.5 at {list(error.absolute_path)}: {error.message[:200]}")
    if not errors:
        print(f"ok: {name}.cdx.json is valid against the CycloneDX 1.5 JSON schema")
    for what, document in not_sboms(bom).items():
        if schema.is_valid(document):
            fail(f"the schema accepts a non-SBOM: {what}")

    # Reproducible: the commit's time, and a serial number from the text.
    stamp = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(epoch))
    if bom.get("metadata", {}).get("timestamp") != stamp:
        fail(f"{name}: the time is {bom.get('metadata', {}).get('timestamp')}, not the commit's {stamp}")
    rest = {key: value for key, value in bom.items() if key != "serialNumber"}
    text = json.dumps(rest, indent=2, ensure_ascii=False) + "\n"
    if f"urn:uuid:{uuid.uuid5(uuid.NAMESPACE_URL, text)}" != bom.get("serialNumber"):
        fail(f"{name}: the serial number {bom.get('serialNumber')} is not the UUID of the text")
    if json.dumps(bom, indent=2, ensure_ascii=False) + "\n" != raw.decode("utf-8"):
        fail(f"{name}: the SBOM is not in the form its serial number is made from")

    tool = bom["metadata"]["component"]
    if (tool.get("name"), tool.get("version")) != ("camera-info", version):
        fail(f"{name}: the tool is {tool.get('name')} {tool.get('version')}")
    if tool.get("hashes") != [{"alg": "SHA-256", "content": hashlib.sha256(exe).hexdigest()}]:
        fail(f"{name}: the tool's hash is not the SHA-256 of the zip's camera-info.exe")
    licences = tool.get("licenses", [])
    if len(licences) != 1 or set(licences[0].get("license", {})) != {"name"}:
        fail(f"{name}: the tool's licence is not one licence named by text: {licences}")

    # The components are the libraries of the notices, as installed here.
    components = {c.get("bom-ref"): c for c in bom.get("components", [])}
    if len(components) != len(bom.get("components", [])):
        fail(f"{name}: two components share a bom-ref")
    found = {}
    for ref, component in components.items():
        purl = parse_purl(component.get("purl", ""))
        if purl is None or ref != component["purl"]:
            fail(f"{name}: {component.get('name')}: purl {component.get('purl')}, bom-ref {ref}")
            continue
        package, purl_version, arch, _ = purl
        if component.get("version") != purl_version:
            fail(f"{name}: {component['name']} {component.get('version')}, but its purl says {purl_version}")
        if arch == "source":
            if purl_version not in sources.get(package, set()):
                fail(f"{name}: no package of the Debian source {package} {purl_version} is installed here")
        elif binaries.get(package) != (purl_version, arch):
            fail(f"{name}: {package} {purl_version} ({arch}), but dpkg-query gives {binaries.get(package)}")
        licence = component.get("licenses", [])
        if len(licence) != 1 or set(licence[0]) != {"expression"}:
            fail(f"{name}: {component['name']}: not one SPDX expression: {licence}")
        else:
            bad = expression_ids(licence[0]["expression"], spdx_ids)
            if bad:
                fail(f"{name}: {component['name']}: not SPDX in {licence[0]['expression']!r}: {bad}")
        linked = {p["value"] for p in component.get("properties", []) if p.get("name") == "camera-info:linked-file"}
        found[(component["name"], package, purl_version, arch == "source")] = linked
    listed = {}
    for names, linked in notices_entries(notices):
        if not names:
            continue
        files = set()
        for entry in names:
            listed[entry] = True
            files |= found.get(entry, set())
        if files != linked:
            fail(f"{name}: the notices link {sorted(linked)} from {names}, the SBOM {sorted(files)}")
    if not listed:
        fail(f"{name}: the notices name no library")
    if set(found) != set(listed):
        fail(f"{name}: the SBOM's libraries {sorted(found)} are not the notices' {sorted(listed)}")

    dependencies = bom.get("dependencies", [])
    tool_ref = tool.get("bom-ref")
    if [d.get("ref") for d in dependencies] != [tool_ref] or sorted(
            dependencies[0].get("dependsOn", [])) != sorted(components):
        fail(f"{name}: the tool does not depend on exactly its components: {dependencies}")
    if not failures:
        print(f"ok: {name}.cdx.json lists the {len(found)} libraries of its notices, as installed here:")
        for component in bom["components"]:
            print(f"    {component['name']} {component['version']}: {component['licenses'][0]['expression']}")


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    dist, epoch = pathlib.Path(argv[1]), int(argv[2])
    schema = validator()
    spdx = json.loads((HERE / "spdx.SNAPSHOT.schema.json").read_text(encoding="utf-8"))
    binaries, sources = installed()
    zips = sorted(dist.glob("camera-info-*-windows-*.zip"))
    if len(zips) != 2:
        fail(f"{dist} holds {len(zips)} release zips, not 2")
    for zip_path in zips:
        check(zip_path, epoch, schema, set(spdx["enum"]), binaries, sources)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
