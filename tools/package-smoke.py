#!/usr/bin/python3
# One save through the installed server and its /metrics read back with
# Prometheus' own text parser: what tools/check-packages.sh asks of a server
# started as its unit starts it. Usage: package-smoke.py HOST:PORT LANGUAGE
import json
import sys
import urllib.request

from prometheus_client.parser import text_string_to_metric_families

base = "http://" + sys.argv[1]
language = sys.argv[2]


def call(method, params):
    body = json.dumps({"jsonrpc": "2.0", "id": 1, "method": method, "params": params}).encode()
    req = urllib.request.Request(base + "/Trd09300.rdmTraducao", body, {"Content-Type": "application/json"})
    with urllib.request.urlopen(req, timeout=30) as res:
        answer = json.loads(res.read())
    if "error" in answer:
        raise SystemExit("%s falhou: %s" % (method, answer["error"]))
    return answer


fields = [("STAGRVALPROP", 4000), ("STVALORPROP", 4000), ("IDSITTRADUCAO", 1), ("IDIDIOMA", 3),
          ("NMCOMPONENTE", 50), ("CDPROGTRAD", 20)]
head = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?><DATAPACKET Version="2.0"><METADATA><FIELDS>'
        + "".join('<FIELD attrname="%s" fieldtype="string" WIDTH="%d"/>' % f for f in fields)
        + '</FIELDS><PARAMS DATASET_DELTA="1"/></METADATA><ROWDATA>')
original = ('<ROW RowState="1" STAGRVALPROP="&amp;Salvar" STVALORPROP="" IDSITTRADUCAO="N" IDIDIOMA="%s" '
            'NMCOMPONENTE="sbtSalvar" CDPROGTRAD="TRD09300"/>' % language)
modified = '<ROW RowState="8" STVALORPROP="&amp;Save" IDSITTRADUCAO="T"/>'
call("SetDestino", [head + original + modified + "</ROWDATA></DATAPACKET>"])

with urllib.request.urlopen(base + "/metrics", timeout=30) as res:
    text = res.read().decode()
saves = None
for family in text_string_to_metric_families(text):
    for sample in family.samples:
        if sample.name == "trd_requests_total" and sample.labels == {"method": "SetDestino", "outcome": "ok"}:
            saves = sample.value
if saves != 1:
    raise SystemExit("/metrics não conta a gravação: %r" % saves)
print("gravação feita e /metrics lido: trd_requests_total{SetDestino,ok} = 1")
