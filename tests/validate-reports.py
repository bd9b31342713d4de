#!/usr/bin/python3
"""Validates camera-info reports against the report's JSON Schema.

Usage: validate-reports.py SCHEMA REPORT_DIR [REPORT_DIR ...]

Every *.json, CameraInfo*.txt, report-*.txt or expected.txt file below the directories must be valid,
and at least one must exist. The schema itself must be a valid draft 2020-12
schema and must reject a set of documents no camera-info writes, so that a
schema that accepts everything cannot pass.
"""
import json
import pathlib
import sys

import jsonschema

NOT_REPORTS = {
    "no version": {},
    "another version": {"version": "1.0.0"},
    "empty camera list": {"cameraInfo": [], "version": "1.0.1"},
    "extra member": {"version": "1.0.1", "cameras": []},
    "camera without pid": {
        "cameraInfo": [{"name": "n", "vid": "v", "detail": "d"}],
        "version": "1.0.1",
    },
    "camera with extra member": {
        "cameraInfo": [{"name": "n", "vid": "v", "pid": "p", "detail": "d", "x": ""}],
        "version": "1.0.1",
    },
    "number as vid": {
        "cameraInfo": [{"name": "n", "vid": 1133, "pid": "p", "detail": "d"}],
        "version": "1.0.1",
    },
    "array instead of object": [],
}


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    schema = json.loads(pathlib.Path(argv[1]).read_text(encoding="utf-8"))
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)

    passed = failed = 0
    for what, document in NOT_REPORTS.items():
        if validator.is_valid(document):
            print(f"FAIL: the schema accepts a non-report: {what}")
            failed += 1
        else:
            passed += 1

    reports = sorted(
        path
        for directory in argv[2:]
        for pattern in ("*.json", "CameraInfo*.txt", "report-*.txt", "expected.txt")
        for path in pathlib.Path(directory).rglob(pattern)
    )
    if not reports:
        print("FAIL: no report to validate in " + ", ".join(argv[2:]))
        failed += 1
    for path in reports:
        # Reports are UTF-8 without a byte-order mark.
        document = json.loads(path.read_bytes().decode("utf-8"))
        errors = sorted(validator.iter_errors(document), key=str)
        if errors:
            print(f"FAIL: {path}: {errors[0].message}")
            failed += 1
        else:
            passed += 1
    print(f"{len(reports)} reports checked against {argv[1]}")
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
