#!/usr/bin/python3
"""Members and questions for the load benchmark's member calls.

Usage: prepare.py BASE_URL HOST MEMBERS QUESTIONS OUT.lua

An https:// BASE_URL is checked against the system's CAs, or against the CA
file VARNEL_CA_FILE names.

Registers MEMBERS members through the service (the first tenth of them ask,
the others answer), signs each in from this machine so that the server binds
them to this address, has the askers post QUESTIONS questions in column 9, and
writes the member and question IDs as a Lua table for the wrk scripts.
"""
import http.client
import os
import re
import ssl
import sys
import urllib.parse
from xml.sax.saxutils import escape, unescape

PATH = "/Varnel/Web/Services/VarnelServices.asmx"
COLUMN = 9


def main():
    base, host, members, questions, out = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5]
    user = os.environ.get("VARNEL_SERVICE_USER", "QuilloraAgent")
    password = os.environ.get("VARNEL_SERVICE_PASSWORD", "k7Varnel#2007-svc")
    ns = "http://%s/Services/VarnelServices" % host
    url = urllib.parse.urlsplit(base)
    if url.scheme == "https":
        context = ssl.create_default_context(cafile=os.environ.get("VARNEL_CA_FILE"))
        conn = http.client.HTTPSConnection(url.hostname, url.port, timeout=30, context=context)
    else:
        conn = http.client.HTTPConnection(url.hostname, url.port, timeout=30)

    def call(op, params):
        fields = "".join("<%s>%s</%s>" % (k, escape(str(v)), k) for k, v in params)
        body = ('<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Header>'
                '<CredentialSoapHeader xmlns="%s"><Username>%s</Username><Password>%s</Password>'
                '</CredentialSoapHeader></soap:Header><soap:Body><%s xmlns="%s">%s</%s></soap:Body></soap:Envelope>'
                % (ns, escape(user), escape(password), op, ns, fields, op)).encode()
        conn.request("POST", PATH, body, {"Content-Type": "text/xml; charset=utf-8",
                                           "SOAPAction": '"%s/%s"' % (ns, op)})
        answer = conn.getresponse()
        text = answer.read().decode()
        if answer.status != 200:
            sys.exit("%s answered %d: %s" % (op, answer.status, text[:400]))
        return text

    ids = []
    for i in range(members):
        name = "bench%04d" % i
        text = call("CreateNewUser", [("userName", name), ("password", "benchpw"), ("nickName", name), ("sex", 1),
                                      ("email", name + "@example.org"), ("face", "1"), ("name", ""),
                                      ("address", ""), ("phone", ""), ("leader", ""), ("userGuid", "")])
        if "<CreateNewUserResult>true<" not in text:
            sys.exit("could not register %s: %s" % (name, text[:400]))
        text = unescape(call("GetUserByUserName", [("userName", name), ("password", "benchpw")]))
        found = re.search(r"<PKID>(\d+)</PKID>", text)
        if not found:
            sys.exit("could not sign in %s: %s" % (name, text[:400]))
        ids.append(int(found.group(1)))

    askers = ids[:max(1, members // 10)]
    answerers = ids[len(askers):]
    posted = []
    for q in range(questions):
        text = call("CreatForumPost", [("userID", askers[q % len(askers)]), ("TitleText", "Bench question %d" % q),
                                       ("forumColumnID", COLUMN), ("forumPostPoint", 40),
                                       ("contentText", "What is the load?")])
        found = re.search(r"<forumPostID>(\d+)</forumPostID>", text)
        if "<CreatForumPostResult>true<" not in text or not found:
            sys.exit("could not post question %d: %s" % (q, text[:400]))
        posted.append(int(found.group(1)))

    with open(out, "w") as f:
        f.write("return {\n  column = %d,\n" % COLUMN)
        f.write("  members = {%s},\n" % ", ".join(map(str, ids)))
        f.write("  answerers = {%s},\n" % ", ".join(map(str, answerers)))
        f.write("  questions = {%s},\n}\n" % ", ".join(map(str, posted)))


if __name__ == "__main__":
    main()
