#!/usr/bin/python3
"""Checks the SBOMs of a release against its zips and this machine.

Usage: check-sbom.py DIST

For each DIST/camera-info-VERSION-windows-ARCH.zip: its camera-info.cdx.json
is the same bytes as the one beside the zip; it is valid against CycloneDX's
JSON schema for 1.5 (the files beside this script, their references resolved
here, never over the network); it names the tool with the SHA-256 of the
zip's camera-info.exe; and its components are exactly the libraries that
the zip's THIRD-PARTY-NOTICES.txt names. Prints "ok: ..." or "FAIL: ..."
lines; exits 1 on a failure.
"""
import hashlib
import json
import pathlib
import re
import sys
import zipfile

import jsonschema

HERE = pathlib.Path(__file__).resolve().parent
failures = []


def fail(message):
    print(f"FAIL: {message}")
    failures.append(message)


def refuse(uri):
    raise RuntimeError(f"the schema refers to {uri}, which is not beside it")


def validator():
    """The 1.5 schema, the schemas it refers to taken from beside it."""
    store = {}
    for path in HERE.glob("*.schema.json"):
        schema = json.loads(path.read_text(encoding="utf-8"))
        store[schema["$id"]] = store["http://cyclonedx.org/schema/" + path.name] = schema
    main = store["http://cyclonedx.org/schema/bom-1.5.SNAPSHOT.schema.json"]
    resolver = jsonschema.RefResolver(main["$id"], main, store=store,
                                      handlers={"http": refuse, "https": refuse})
    return jsonschema.Draft7Validator(main, resolver=resolver)


def notices_libraries(notices):
    """{(name, version)} of the "From" lines of the notices."""
    libraries = set()
    for sources in re.findall(r"^\d+\. From (.*?)\n   Linked:", notices, re.M | re.S):
        for item in " ".join(sources.split()).split(", "):
            source = re.fullmatch(r"(\S+) \(Debian source package \S+ (\S+)\)", item)
            libraries.add(tuple(source.groups()) if source else tuple(item.split(" ")))
    return libraries


def check(zip_path, schema):
    name = zip_path.name[: -len(".zip")]
    with zipfile.ZipFile(zip_path) as archive:
        raw = archive.read("camera-info.cdx.json")
        exe = archive.read("camera-info.exe")
        notices = archive.read("THIRD-PARTY-NOTICES.txt").decode().replace("\r\n", "\n")
    beside = zip_path.with_suffix(".cdx.json")
    if not beside.is_file() or beside.read_bytes() != raw:
        fail(f"{beside.name} is missing or not the SBOM in {zip_path.name}")
    bom = json.loads(raw)
    for error in schema.iter_errors(bom):
        fail(f"{name}: not CycloneDX 1.5 at {list(error.absolute_path)}: {error.message[:200]}")
    tool = bom["metadata"]["component"]
    if tool["hashes"] != [{"alg": "SHA-256", "content": hashlib.sha256(exe).hexdigest()}]:
        fail(f"{name}: the tool's hash is not the SHA-256 of the zip's camera-info.exe")
    components = bom.get("components", [])
    listed = {(c["name"], c["version"]) for c in components}
    if listed != notices_libraries(notices) or not listed:
        fail(f"{name}: the SBOM lists {sorted(listed)}, the notices {sorted(notices_libraries(notices))}")
    if not failures:
        print(f"ok: {name}.cdx.json is valid CycloneDX 1.5 and lists the libraries of its notices")


def main(dist):
    # A reference that is not beside the schema raises: none is skipped.
    schema = validator()
    zips = sorted(pathlib.Path(dist).glob("camera-info-*-windows-*.zip"))
    if len(zips) != 2:
        fail(f"{dist} holds {len(zips)} release zips, not 2")
    for zip_path in zips:
        check(zip_path, schema)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
