#!/usr/bin/env python3
"""Checks orvandel-cli output against its JSON schema.

usage: validate_json.py SCHEMA FILE...
Schemas in SCHEMA's folder may be referenced by their $id.
A FILE ending in .ndjson holds one document per line (--stream --json); any other
FILE holds one document. Exit status 0 when every document is valid.
"""
import json
import pathlib
import sys

import jsonschema


def documents(path):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    if path.endswith(".ndjson"):
        lines = text.split("\n")
        if lines[-1] != "":
            raise ValueError(f"{path}: the last line has no newline")
        return [json.loads(line) for line in lines[:-1]]
    return [json.loads(text)]


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        schema = json.load(f)
    # The other schemas beside it, for references between them by their $id.
    store = {}
    for path in pathlib.Path(sys.argv[1]).parent.glob("*.schema.json"):
        with open(path, encoding="utf-8") as f:
            other = json.load(f)
        store[other["$id"]] = other
    try:
        from referencing import Registry, Resource  # jsonschema 4.18 and later
        registry = Registry().with_resources(
            (uri, Resource.from_contents(contents)) for uri, contents in store.items())
        validator = jsonschema.Draft202012Validator(schema, registry=registry)
    except ImportError:  # Debian 12's jsonschema 4.10
        resolver = jsonschema.RefResolver.from_schema(schema, store=store)
        validator = jsonschema.Draft202012Validator(schema, resolver=resolver)
    validator.check_schema(schema)
    bad = 0
    for path in sys.argv[2:]:
        try:
            docs = documents(path)
        except ValueError as error:
            print(f"{path}: not JSON: {error}")
            bad += 1
            continue
        for n, doc in enumerate(docs, 1):
            for error in validator.iter_errors(doc):
                print(f"{path} document {n}: {error.json_path}: {error.message}")
                bad += 1
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
