#!/usr/bin/env python3
"""Reads varnel-server's WSDL with zeep, an independent SOAP toolkit, and calls
every operation it describes with the service account in the credential
header, checking that the answers make sense.

Usage: wsdl_zeep_test.py --server PATH --user NAME --password SECRET
"""
import argparse
import os
import re
import select
import subprocess
import sys
import tempfile
import time
import uuid
import xml.etree.ElementTree as ET

import requests
import zeep
from zeep.exceptions import Fault
from zeep.transports import Transport


def start_server(binary, workdir):
    proc = subprocess.Popen(
        [binary, "--port", "0", "--demo", "--db", os.path.join(workdir, "community.db"),
         "--files", os.path.join(workdir, "files"), "--log", os.path.join(workdir, "requests.log")],
        stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)
    # Raw reads: a buffered reader would hold lines that select() cannot see.
    fd = proc.stdout.fileno()
    lines, pending = [], b""
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline and (not lines or lines[-1] != "varnel-server ready"):
        ready, _, _ = select.select([fd], [], [], max(0.0, deadline - time.monotonic()))
        if not ready:
            break
        chunk = os.read(fd, 4096)
        if not chunk:
            break
        pending += chunk
        while b"\n" in pending:
            line, pending = pending.split(b"\n", 1)
            lines.append(line.decode("utf-8", "replace"))
            if lines[-1] == "varnel-server ready":
                break
        if lines and lines[-1] == "varnel-server ready":
            m = re.fullmatch(r"varnel-server listening on http://(\S+):(\d+)", lines[0])
            if not m:
                raise SystemExit("unexpected first line: %r" % lines[0])
            return proc, m.group(1), int(m.group(2)), lines
    proc.kill()
    raise SystemExit("varnel-server did not become ready; output: %r" % lines)


def records(document, tag):
    """Records of a result document: each a list of its children's texts."""
    assert document is not None, "null document"
    root = ET.fromstring(document)
    return [[(child.text or "") for child in rec] for rec in root.iter(tag)]


class Checker:
    def __init__(self, client, header, operations):
        self.client = client
        self.header = header
        self.pending = set(operations)

    def call(self, op, *args):
        self.pending.discard(op)
        return getattr(self.client.service, op)(*args, _soapheaders=self.header)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--server", required=True)
    ap.add_argument("--user", required=True)
    ap.add_argument("--password", required=True)
    args = ap.parse_args()

    with tempfile.TemporaryDirectory(prefix="wsdl-zeep-") as workdir:
        proc, addr, port, lines = start_server(args.server, workdir)
        try:
            run(addr, port, lines, args)
        finally:
            proc.terminate()
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                proc.kill()
    print("wsdl_zeep: all operations answered as expected")


def run(addr, port, lines, args):
    session = requests.Session()
    session.trust_env = False  # loopback only, never through a proxy from the environment
    wsdl = "http://%s:%d/Varnel/Web/Services/VarnelServices.asmx?wsdl" % (addr, port)
    client = zeep.Client(wsdl, transport=Transport(session=session, timeout=30, operation_timeout=30))

    binding = client.wsdl.services["VarnelServices"].ports["VarnelServicesSoap"].binding
    operations = sorted(binding._operations.keys())
    assert len(operations) == 30, "the WSDL describes %d operations" % len(operations)
    namespace = "http://%s/Services/VarnelServices" % addr
    for name, op in binding._operations.items():
        assert op.soapaction == namespace + "/" + name, op.soapaction
        assert op.input.header.signature(), "no header on " + name

    header = {"CredentialSoapHeader": {"Username": args.user, "Password": args.password}}
    c = Checker(client, header, operations)

    # The header is checked: a wrong account is a soap:Client fault.
    try:
        client.service.IsUserExistsByName("alice", _soapheaders={
            "CredentialSoapHeader": {"Username": args.user, "Password": args.password + "x"}})
        raise AssertionError("a wrong service password was accepted")
    except Fault as fault:
        assert "Client" in (fault.code or ""), fault.code

    demo = [m.group(1) for m in (re.match(r"demo account (\S+) / ", l) for l in lines) if m]
    assert demo, "no demo accounts printed"
    assert c.call("IsUserExistsByName", demo[0]) is True
    assert c.call("IsUserExistsByName", "nobody-" + uuid.uuid4().hex[:8]) is False

    # Two new members: an asker and an answerer.
    tag = uuid.uuid4().hex[:6]
    asker, answerer = "zeep_ask_" + tag, "zeep_ans_" + tag
    for name in (asker, answerer):
        assert c.call("CreateNewUser", name, "pw&" + name, "Nick " + name, 1, name + "@example.org", "4",
                      "Real " + name, "Street 1", "555", None, "guid-" + name) is True
    assert c.call("IsUserExistsByEmail", asker + "@example.org") is True
    assert c.call("IsUserExistsByEmail", "free-" + tag + "@example.org") is False

    def sign_in(name):
        doc = c.call("GetUserByUserName", name, "pw&" + name)
        user = records(doc, "User")[0]
        assert user[1] == name, user
        return int(user[0]), user

    asker_id, asker_doc = sign_in(asker)
    answerer_id, _ = sign_in(answerer)
    assert int(asker_doc[5]) == 200, asker_doc  # a newcomer's points
    try:
        doc = c.call("GetUserByUserName", asker, "wrong")
    except Fault:
        doc = None
    assert doc is None or not records(doc, "User"), "a wrong member password returned a user document"

    profile = records(c.call("GetUserByUserID", asker_id), "User")[0]
    assert profile[1] == asker and profile[4] == asker + "@example.org", profile
    assert c.call("EditUserInformation", asker_id, "pw&" + asker, "Renamed", asker + "@example.org", "7") is True
    assert records(c.call("GetUserByUserID", asker_id), "User")[0][3] == "Renamed"
    assert c.call("Authenticate", asker_id) is None  # empty response wrapper

    for uid in (asker_id, answerer_id):
        assert c.call("SetUserOnline", uid, "127.0.0.1") is True
    online = c.call("GetUserListOnline", 20, 1)
    assert online.totalCount >= 2, online.totalCount

    posted = c.call("CreatForumPost", asker_id, "Zeep question " + tag, 31, 40, "How & why <really>?")
    assert posted.CreatForumPostResult is True and posted.forumPostID > 0, posted
    post_id = posted.forumPostID
    replied = c.call("CreatForumReply", post_id, answerer_id, 31, "Because of " + tag)
    assert replied.CreatForumReplyResult is True and replied.forumReplyID > 0, replied

    question = records(c.call("GetForumPostByID", post_id), "ForumPost")[0]
    assert "Zeep question " + tag in question, question

    listed = c.call("GetForumPostListByColumn", 31, 15, 1)
    rows = records(listed.GetForumPostListByColumnResult, "ForumPosts")
    assert listed.totalCount >= 1 and len(rows) <= 15
    assert any(r[0] == str(post_id) for r in rows), "the new question is not on page 1 of its column"

    def count(op, *a):
        r = c.call(op, *a)
        return r.totalCount, records(getattr(r, op + "Result"), "ForumPosts") if r.totalCount else []

    assert count("GetForumPostsByPostUserID", asker_id, 15, 1, 4)[0] == 1
    assert count("GetPostsByEndingUserID", asker_id, 15, 1, 4)[0] == 1
    assert count("GetForumPostsByReplyUserID", answerer_id, 15, 1, 4)[0] == 1
    assert count("GetForumPostsByScoreUserID", answerer_id, 15, 1, 4)[0] == 0
    total, rows = count("GetSearchForumPostByID", post_id)
    assert total == 1 and rows[0][0] == str(post_id)
    assert count("GetSearchForumPostsByTitle", 31, tag, 15, 1)[0] == 1
    assert count("GetSearchForumPostsByAuthor", 1, asker, 15, 1)[0] == 1
    assert c.call("GetOverduePostsByUserID", asker_id, 4) is False

    replies = c.call("GetForumReplyListByPostID", post_id)
    assert "Because of " + tag in replies, replies
    providers = records(c.call("GetReplierListOnlineByPostID", post_id), "User")
    assert any(p[1] == answerer for p in providers), providers
    records(c.call("GetExpertListOnlineByPostID", post_id), "User")  # well-formed, may be empty
    experts = records(c.call("GetExpertListOnline", 1), "User")
    assert experts, "the demo's star experts of the Software zone are not online"
    assert all(1 <= int(e[6]) <= 10 for e in experts), experts

    assert c.call("SendMessage", answerer_id, asker_id, "hello " + tag) is True
    assert c.call("SendMessage", answerer_id, 999999, "to nobody") is False
    first = records(c.call("GetMessage", asker_id), "Message")
    assert [m[1] for m in first] == ["hello " + tag], first
    assert records(c.call("GetMessage", asker_id) or "<Messages/>", "Message") == []  # delivered once

    announcements = records(c.call("SendThreadsByType", 1), "ForumPosts")
    assert announcements and all(a[0] in ("0", "1", "2", "3") for a in announcements), announcements
    scores = records(c.call("GetUserScoresByUserID", asker_id), "User")
    assert scores, "no score rows"
    assert c.call("SetUserOffline", asker_id) is True

    assert not c.pending, "operations not exercised: %s" % sorted(c.pending)


if __name__ == "__main__":
    sys.exit(main())
