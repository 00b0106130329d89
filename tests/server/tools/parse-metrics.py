#!/usr/bin/python3
# Reads a /metrics page with Prometheus' own text parser and prints every
# sample as "name{labels} value", sorted; a page the parser refuses exits 1.
import sys

from prometheus_client.parser import text_string_to_metric_families

text = sys.stdin.read()
try:
    out = []
    for family in text_string_to_metric_families(text):
        if not family.documentation:
            raise ValueError("family without HELP: " + family.name)
        for sample in family.samples:
            labels = ",".join('%s="%s"' % (k, v) for k, v in sorted(sample.labels.items()))
            key = "%s{%s}" % (sample.name, labels) if labels else sample.name
            out.append("%s %r" % (key, float(sample.value)))
        out.append("# TYPE %s %s" % (family.name, family.type))
except Exception as e:  # noqa: BLE001 - any refusal of the parser is the answer
    print("refused: %s" % e, file=sys.stderr)
    sys.exit(1)
print("\n".join(sorted(out)))
