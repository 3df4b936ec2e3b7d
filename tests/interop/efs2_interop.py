#!/usr/bin/env python3
"""An independent diagnostic client that checks `vornak-efs serve`.

It speaks the handset's diagnostic protocol as public diagnostic tools do
(docs/protocol.md lists the layouts and where each comes from): HDLC framing
with CRC-16/X.25, the general requests clients send at start-up, and the EFS2
subsystem commands. It seeds the emulated handset from a folder it creates
itself and checks every answer byte for byte against what the layouts say
about that folder. Nothing here is taken from the C++ code it tests.

Each group of checks runs against a freshly seeded server:

    efs2_interop.py --program PATH/vornak-efs                  every group
    efs2_interop.py --program PATH/vornak-efs --only files,dirs
    efs2_interop.py --program PATH/vornak-efs --transport tcp
    efs2_interop.py --connect tcp:127.0.0.1:5000 --seed DIR    a running server
    efs2_interop.py --list

Standard library only; python3-serial is used for the terminal when present.
The last line is "N passed, N failed"; the exit code is 0 when nothing failed.
"""

import argparse
import hashlib
import os
import select
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time

# ---------------------------------------------------------------- framing

FLAG = 0x7E
ESCAPE = 0x7D


def crc16_x25(data):
    """CRC-16/X.25: reflected polynomial 0x1021, initial 0xFFFF, final XOR 0xFFFF."""
    crc = 0xFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0x8408 if crc & 1 else crc >> 1
    return crc ^ 0xFFFF


def hdlc_encode(payload):
    """The payload and its CRC (low byte first), escaped, then the closing flag."""
    raw = payload + struct.pack('<H', crc16_x25(payload))
    out = bytearray()
    for byte in raw:
        if byte in (FLAG, ESCAPE):
            out += bytes((ESCAPE, byte ^ 0x20))
        else:
            out.append(byte)
    out.append(FLAG)
    return bytes(out)


class FrameReader:
    """Collects bytes from the line and hands out whole frames, CRC checked."""

    def __init__(self):
        self.pending = bytearray()

    def feed(self, data):
        self.pending += data

    def next_frame(self):
        """The next payload, or None when no complete frame has arrived yet.
        Raises ProtocolError for a frame whose check sum is wrong."""
        while FLAG in self.pending:
            end = self.pending.index(FLAG)
            raw, self.pending = self.pending[:end], self.pending[end + 1:]
            if not raw:
                continue  # an empty frame between two flags
            frame = bytearray()
            escaped = False
            for byte in raw:
                if escaped:
                    frame.append(byte ^ 0x20)
                    escaped = False
                elif byte == ESCAPE:
                    escaped = True
                else:
                    frame.append(byte)
            if len(frame) < 3 or crc16_x25(frame[:-2]) != struct.unpack('<H', frame[-2:])[0]:
                raise ProtocolError('a frame with a wrong check sum: ' + shown(bytes(frame)))
            return bytes(frame[:-2])
        return None


class ProtocolError(Exception):
    pass


# -------------------------------------------------------------- transports

class TerminalTransport:
    """A serial line or pseudo-terminal, raw, through python3-serial when it is
    installed and through termios otherwise."""

    def __init__(self, path):
        try:
            import serial
        except ImportError:
            serial = None
        if serial is not None:
            self.port = serial.Serial(path, 115200, timeout=0)
            self.fd = self.port.fileno()
        else:
            import termios
            self.port = None
            self.fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
            attrs = termios.tcgetattr(self.fd)
            attrs[0] = attrs[1] = attrs[3] = 0  # no input, output or local processing
            attrs[2] = termios.CS8 | termios.CREAD | termios.CLOCAL
            termios.tcsetattr(self.fd, termios.TCSANOW, attrs)

    def send(self, data):
        if self.port is not None:
            self.port.write(data)
            self.port.flush()
        else:
            while data:
                data = data[os.write(self.fd, data):]

    def receive(self, timeout):
        ready, _, _ = select.select([self.fd], [], [], max(timeout, 0))
        if not ready:
            return b''
        return os.read(self.fd, 4096)

    def close(self):
        if self.port is not None:
            self.port.close()
        else:
            os.close(self.fd)


class TcpTransport:
    """The same framing over a stream socket, as tools reach a forwarded port."""

    def __init__(self, host, port, wait=5.0):
        deadline = time.monotonic() + wait
        while True:
            try:
                self.sock = socket.create_connection((host, port), timeout=1.0)
                break
            except OSError:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.05)

    def send(self, data):
        self.sock.sendall(data)

    def receive(self, timeout):
        ready, _, _ = select.select([self.sock], [], [], max(timeout, 0))
        if not ready:
            return b''
        data = self.sock.recv(4096)
        if not data:
            raise ProtocolError('the server closed the connection')
        return data

    def close(self):
        self.sock.close()


def open_transport(address):
    """serial:PATH or tcp:HOST:PORT."""
    kind, _, rest = address.partition(':')
    if kind == 'serial' and rest:
        return TerminalTransport(rest)
    if kind == 'tcp':
        host, _, port = rest.rpartition(':')
        return TcpTransport(host, int(port))
    raise SystemExit('efs2_interop: a port is serial:PATH or tcp:HOST:PORT, not ' + address)


# Packets a handset sends on its own: log, message and extended message.
UNSOLICITED = {0x10, 0x1F, 0x79}


class Link:
    """One request in flight at a time, as every public client does."""

    def __init__(self, transport, timeout):
        self.transport = transport
        self.timeout = timeout
        self.reader = FrameReader()

    def transact(self, request):
        self.transport.send(hdlc_encode(request))
        deadline = time.monotonic() + self.timeout
        while True:
            frame = self.reader.next_frame()
            if frame is None:
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    raise ProtocolError('no answer within %.1f s to %s' % (self.timeout, shown(request, 16)))
                self.reader.feed(self.transport.receive(remaining))
            elif frame[0] not in UNSOLICITED:
                return frame


# ----------------------------------------------------------------- packets

SUBSYS_DISPATCH = 0x4B
FILE_SUBSYSTEM = 19
ALTERNATE_FILE_SUBSYSTEM = 62

BAD_COMMAND, BAD_PARAMETERS, BAD_LENGTH = 0x13, 0x14, 0x15

(HELLO, QUERY, OPEN, CLOSE, READ, WRITE, SYMLINK, READLINK, UNLINK, MKDIR, RMDIR,
 OPENDIR, READDIR, CLOSEDIR, RENAME, STAT, LSTAT, FSTAT, CHMOD, STATFS, ACCESS,
 DEV_INFO) = range(22)
DELTREE, PUT, GET, TRUNCATE, FTRUNCATE, STATVFS_V2, MD5SUM = 37, 38, 39, 40, 41, 42, 43

# Mode type bits and the handset's error numbers (POSIX numbering).
S_IFMT, S_IFDIR, S_IFREG, S_IFLNK, S_IFITM = 0o170000, 0o040000, 0o100000, 0o120000, 0o160000
ENOENT, EBADF, EEXIST, ENOTDIR, ENOTEMPTY = 2, 9, 17, 20, 39
FS_DIAG_NOT_NAND_FLASH = 0x4000000B

O_RDONLY, O_RDWR, O_CREAT_WRITE = 0, 2, 0o1101  # 0o1101: O_WRONLY | O_CREAT | O_TRUNC
ENTRY_FILE, ENTRY_DIRECTORY, ENTRY_LINK = 0, 1, 2


def header(command, subsystem=FILE_SUBSYSTEM):
    return struct.pack('<BBH', SUBSYS_DISPATCH, subsystem, command)


def efs(command, body=b'', subsystem=FILE_SUBSYSTEM):
    return header(command, subsystem) + body


def text(path):
    """A path or name as the handset takes it: its bytes and a NUL."""
    return path.encode('latin-1') + b'\0'


ANY = None  # a field whose value the handset chooses


def shown(data, limit=48):
    """Bytes in hex, the first `limit` of them when there are more."""
    if not data:
        return '(nothing)'
    more = ' ... (%d bytes)' % len(data) if len(data) > limit else ''
    return data[:limit].hex(' ') + more


class Results:
    def __init__(self, verbose):
        self.verbose = verbose
        self.passed = 0
        self.failed = 0

    def ok(self, name):
        self.passed += 1
        if self.verbose:
            print('ok    ' + name)

    def fail(self, name, why):
        self.failed += 1
        print('FAIL  %s: %s' % (name, why))

    def check(self, name, got, want):
        if got == want:
            self.ok(name)
            return True
        if isinstance(got, bytes) and isinstance(want, bytes):
            self.fail(name, 'got %s, want %s' % (shown(got), shown(want)))
        else:
            self.fail(name, 'got %r, want %r' % (got, want))
        return False

    def fields(self, name, packet, layout, rest=b''):
        """Unpacks `packet` by `layout`, a list of (field, struct format, wanted)
        where wanted is a value, ANY, or a predicate; whatever follows the fields
        must equal `rest` (bytes), or `rest` is ANY. Returns the field values,
        or None when the packet is too short to hold them."""
        fmt = '<' + ''.join(f for _, f, _ in layout)
        size = struct.calcsize(fmt)
        if len(packet) < size:
            self.fail(name, '%d bytes, want %d or more: %s' % (len(packet), size, shown(packet)))
            return None
        values = dict(zip((label for label, _, _ in layout), struct.unpack(fmt, packet[:size])))
        good = True
        for label, _, want in layout:
            value = values[label]
            if want is ANY:
                continue
            if callable(want):
                if not want(value):
                    self.fail(name, '%s is %r' % (label, value))
                    good = False
            elif value != want:
                self.fail(name, '%s is %s, want %s' % (label, shown(value) if isinstance(value, bytes) else value,
                                                       shown(want) if isinstance(want, bytes) else want))
                good = False
        if rest is not ANY and packet[size:] != rest:
            self.fail(name, 'after the fields: got %s, want %s' % (shown(packet[size:]), shown(rest)))
            good = False
        if good:
            self.ok(name)
        values['rest'] = packet[size:]
        return values

    def rejected(self, name, request, packet, codes=(BAD_COMMAND,)):
        """A general error response: one of `codes` and the request echoed."""
        if packet[:1] and packet[0] in codes and packet[1:] == request:
            self.ok(name)
        else:
            self.fail(name, 'got %s, want %s followed by the request'
                      % (shown(packet), '/'.join('%02x' % c for c in codes)))


def is_positive(value):
    return value > 0


def at_least(minimum):
    return lambda value: value >= minimum


# ------------------------------------------------------------------- seed

T0 = 1_700_000_000  # seconds since 1970, as the handset keeps its times


class Node:
    def __init__(self, path, kind, mode, mtime, data=b'', target=''):
        self.path, self.kind, self.mode, self.mtime = path, kind, mode, mtime
        self.data, self.target = data, target

    @property
    def full_mode(self):
        return {'file': S_IFREG, 'dir': S_IFDIR, 'link': S_IFLNK}[self.kind] | self.mode

    @property
    def name(self):
        return self.path.rsplit('/', 1)[1]


def pattern(size, seed):
    """Bytes that differ at every offset, so a read at a wrong offset shows."""
    return bytes((i * 7 + seed + (i >> 8)) & 0xFF for i in range(size))


def seed_nodes():
    """The handset the checks expect, a node per name."""
    return [
        Node('/readme.txt', 'file', 0o644, T0 + 1, b'A handset seeded by the interop test.\n'),
        Node('/data', 'dir', 0o755, T0 + 2),
        Node('/data/settings.bin', 'file', 0o600, T0 + 3, pattern(1500, 3)),
        Node('/data/empty.txt', 'file', 0o644, T0 + 4),
        Node('/data/sub', 'dir', 0o750, T0 + 5),
        Node('/data/sub/deep.txt', 'file', 0o640, T0 + 6, b'deep\n'),
    ]


LINK_NODES = [
    Node('/links', 'dir', 0o755, T0 + 7),
    Node('/links/seeded', 'link', 0o777, T0 + 8, target='../readme.txt'),
]


def write_seed(root, nodes):
    for node in nodes:
        place = os.path.join(root, node.path.lstrip('/'))
        if node.kind == 'dir':
            os.makedirs(place, exist_ok=True)
        elif node.kind == 'link':
            os.symlink(node.target, place)
        else:
            with open(place, 'wb') as f:
                f.write(node.data)
    # Modes and times last, deepest first, so making children changes nothing.
    for node in sorted(nodes, key=lambda n: n.path.count('/'), reverse=True):
        place = os.path.join(root, node.path.lstrip('/'))
        if node.kind == 'link':
            continue
        os.chmod(place, node.mode)
        os.utime(place, (node.mtime, node.mtime))


class Handset:
    """What the checks know about the handset they talk to."""

    def __init__(self, nodes):
        self.nodes = {n.path: n for n in nodes}

    def children(self, directory):
        prefix = directory.rstrip('/') + '/'
        return {n.name: n for p, n in self.nodes.items()
                if p.startswith(prefix) and '/' not in p[len(prefix):]}

    def __getitem__(self, path):
        return self.nodes[path]


# ----------------------------------------------------------------- servers

class Server:
    """`vornak-efs serve` on a pseudo-terminal or a loopback port, seeded from
    a folder; or a server that is already running."""

    def __init__(self, args, seed):
        self.process = None
        if args.connect:
            self.address = args.connect
            return
        command = [args.program, 'serve', '--emulator', seed]
        if args.transport == 'tcp':
            with socket.socket() as probe:  # a free port on the loopback
                probe.bind(('127.0.0.1', 0))
                port = probe.getsockname()[1]
            command += ['--listen', 'tcp:127.0.0.1:%d' % port]
            self.address = 'tcp:127.0.0.1:%d' % port
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        stdin=subprocess.DEVNULL)
        if args.transport == 'pty':  # its first line names the terminal
            announced = self.first_line(args.timeout)
            if not announced:
                raise ProtocolError('serve announced no terminal; ' + self.stop())
            self.address = 'serial:' + announced

    def first_line(self, timeout):
        line = b''
        deadline = time.monotonic() + timeout
        while not line.endswith(b'\n'):
            ready, _, _ = select.select([self.process.stdout], [], [], max(deadline - time.monotonic(), 0))
            byte = os.read(self.process.stdout.fileno(), 1) if ready else b''
            if not byte:
                break
            line += byte
        return line.decode().strip()

    def stop(self):
        if self.process is None:
            return ''
        self.process.terminate()
        try:
            _, err = self.process.communicate(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            _, err = self.process.communicate()
        if self.process.returncode not in (0, -15):
            return 'serve exited with %d: %s' % (self.process.returncode, err.decode(errors='replace').strip())
        return ''


# ---------------------------------------------------------------- sessions

class Session:
    """The requests every group builds on, each checked as it goes."""

    def __init__(self, link, results, group, handset):
        self.link, self.results, self.group, self.handset = link, results, group, handset

    def name(self, what):
        return '%s/%s' % (self.group, what)

    def ask(self, request):
        return self.link.transact(request)

    def hello(self, subsystem=FILE_SUBSYSTEM, body=None):
        if body is None:  # generous windows; version 1 from 1 to 1; every feature
            body = struct.pack('<6I3II', *([0x100000] * 6), 1, 1, 1, 0xFFFFFFFF)
        return self.ask(efs(HELLO, body, subsystem))

    def open(self, path, flags=O_RDONLY, mode=0, errno=0, what=None):
        reply = self.ask(efs(OPEN, struct.pack('<iI', flags, mode) + text(path)))
        fd_check = (lambda fd: fd >= 0) if errno == 0 else -1
        values = self.results.fields(self.name(what or 'open ' + path), reply, [
            ('header', '4s', header(OPEN)), ('fd', 'i', fd_check), ('errno', 'i', errno)])
        return values['fd'] if values else -1

    def close(self, fd, errno=0, what='close'):
        reply = self.ask(efs(CLOSE, struct.pack('<i', fd)))
        self.results.fields(self.name(what), reply, [('header', '4s', header(CLOSE)), ('errno', 'i', errno)])

    def read(self, fd, count, offset, want, what):
        """READ, checked against the bytes `want` the file holds from `offset`;
        the handset may return fewer than asked. Returns the data."""
        reply = self.ask(efs(READ, struct.pack('<iII', fd, count, offset)))
        values = self.results.fields(self.name(what), reply, [
            ('header', '4s', header(READ)), ('fd', 'i', fd), ('offset', 'I', offset),
            ('count', 'i', lambda n: 0 <= n <= count), ('errno', 'i', 0)], ANY)
        if values is None:
            return b''
        data = values['rest']
        self.results.check(self.name(what + ' data'), data, want[:len(data)])
        self.results.check(self.name(what + ' count'), values['count'], len(data))
        return data

    def read_all(self, fd, size, want, what, chunk=512):
        data = b''
        while len(data) < size:
            piece = self.read(fd, chunk, len(data), want[len(data):], '%s at %d' % (what, len(data)))
            if not piece:
                break
            data += piece
        return data

    def write(self, fd, offset, data, what):
        """WRITE until every byte is taken; the handset may take fewer at once."""
        while data:
            reply = self.ask(efs(WRITE, struct.pack('<iI', fd, offset) + data))
            values = self.results.fields(self.name('%s at %d' % (what, offset)), reply, [
                ('header', '4s', header(WRITE)), ('fd', 'i', fd), ('offset', 'I', offset),
                ('count', 'i', lambda n: 0 < n <= len(data)), ('errno', 'i', 0)])
            if values is None or values['count'] <= 0:
                return
            offset += values['count']
            data = data[values['count']:]

    def fstat(self, fd, node, size, what):
        reply = self.ask(efs(FSTAT, struct.pack('<i', fd)))
        self.results.fields(self.name(what), reply, [
            ('header', '4s', header(FSTAT)), ('errno', 'i', 0), ('mode', 'I', node.full_mode),
            ('size', 'I', size), ('nlink', 'I', 1), ('atime', 'I', ANY),
            ('mtime', 'I', node.mtime if node.mtime else ANY), ('ctime', 'I', ANY)])

    def lstat(self, path, mode=None, mtime=ANY, errno=0, subsystem=FILE_SUBSYSTEM, what=None):
        reply = self.ask(efs(LSTAT, text(path), subsystem))
        return self.results.fields(self.name(what or 'lstat ' + path), reply, [
            ('header', '4s', header(LSTAT, subsystem)), ('errno', 'i', errno),
            ('mode', 'I', ANY if errno else mode), ('atime', 'I', ANY),
            ('mtime', 'I', ANY if errno else mtime), ('ctime', 'I', ANY)])

    def stat(self, path, mode=None, size=None, mtime=ANY, errno=0, what=None):
        # A STAT answer is 32 bytes even when it fails: one public shell unpacks
        # it whole before it looks at the error number.
        reply = self.ask(efs(STAT, text(path)))
        return self.results.fields(self.name(what or 'stat ' + path), reply, [
            ('header', '4s', header(STAT)), ('errno', 'i', errno),
            ('mode', 'I', ANY if errno else mode), ('size', 'I', ANY if errno or size is None else size),
            ('nlink', 'I', ANY if errno else at_least(1)), ('atime', 'I', ANY),
            ('mtime', 'I', ANY if errno else mtime), ('ctime', 'I', ANY)])

    def errno_only(self, command, body, errno, what):
        reply = self.ask(efs(command, body))
        self.results.fields(self.name(what), reply, [('header', '4s', header(command)), ('errno', 'i', errno)])

    def list_directory(self, path, what):
        """OPENDIR, READDIR from entry 1 until the empty name, CLOSEDIR.
        Returns {name: (entry type, mode, size, mtime)}."""
        reply = self.ask(efs(OPENDIR, text(path)))
        values = self.results.fields(self.name(what + ' opendir'), reply, [
            ('header', '4s', header(OPENDIR)), ('dirp', 'I', is_positive), ('errno', 'i', 0)])
        if values is None:
            return {}
        dirp = values['dirp']
        entries = {}
        for seqno in range(1, 1000):
            reply = self.ask(efs(READDIR, struct.pack('<Ii', dirp, seqno)))
            entry = self.results.fields(self.name('%s readdir %d' % (what, seqno)), reply, [
                ('header', '4s', header(READDIR)), ('dirp', 'I', dirp), ('seqno', 'i', seqno),
                ('errno', 'i', 0), ('type', 'i', ANY), ('mode', 'I', ANY), ('size', 'I', ANY),
                ('atime', 'I', ANY), ('mtime', 'I', ANY), ('ctime', 'I', ANY)], ANY)
            if entry is None:
                break
            name = entry['rest']
            if not name.endswith(b'\0'):
                self.results.fail(self.name('%s readdir %d name' % (what, seqno)), 'no NUL: ' + shown(name))
                break
            name = name[:-1]
            if not name:  # the end of the directory
                break
            entries[name.decode('latin-1')] = (entry['type'], entry['mode'], entry['size'], entry['mtime'])
        self.errno_only(CLOSEDIR, struct.pack('<I', dirp), 0, what + ' closedir')
        return entries

    def check_listing(self, path, what):
        """The listing of `path` names exactly the seeded children, each with
        its type, mode, size (files) and modification time."""
        entries = self.list_directory(path, what)
        children = self.handset.children(path)
        self.results.check(self.name(what + ' names'), sorted(entries), sorted(children))
        for name, node in sorted(children.items()):
            if name not in entries:
                continue
            kind, mode, size, mtime = entries[name]
            want_kind = {'file': ENTRY_FILE, 'dir': ENTRY_DIRECTORY, 'link': ENTRY_LINK}[node.kind]
            got = (kind, mode, size if node.kind == 'file' else None, mtime)
            want = (want_kind, node.full_mode, len(node.data) if node.kind == 'file' else None, node.mtime)
            if node.kind == 'link':  # the link's own time and permission bits are the handset's
                got, want = (kind, mode & S_IFMT), (want_kind, S_IFLNK)
            self.results.check(self.name('%s entry %s' % (what, name)), got, want)
        return entries


# ------------------------------------------------------------------ groups

def group_startup(s):
    """General requests public clients send before their first EFS2 command."""
    r = s.results
    reply = s.ask(bytes.fromhex('7300000000000000'))  # log configuration: disable
    r.check(s.name('log config disable'), reply, bytes.fromhex('73000000' '00000000' '00000000'))
    request = struct.pack('<B3xIII', 0x73, 3, 1, 0)  # set the mask of equipment 1 to no items
    reply = s.ask(request)
    r.check(s.name('log config set mask'), reply, request[:8] + struct.pack('<III', 0, 1, 0))
    reply = s.ask(bytes.fromhex('7d05000000000000'))  # all message masks to none, padded as sent
    r.check(s.name('message config set all'), reply, bytes.fromhex('7d050100' '00000000'))
    request = struct.pack('<BBHHH3I', 0x7D, 4, 0, 2, 0, 0, 0, 0)  # masks of message ids 0 to 2
    reply = s.ask(request)
    r.check(s.name('message config set range'), reply, request[:6] + b'\x01\x00' + request[8:])
    reply = s.ask(b'\x00')  # version information
    r.fields(s.name('version'), reply, [('code', 'B', 0x00)], ANY)
    r.check(s.name('version length'), len(reply), 55)
    reply = s.ask(b'\x7c')  # extended build id
    values = r.fields(s.name('build id'), reply, [
        ('code', 'B', 0x7C), ('version', 'B', ANY), ('reserved', 'H', ANY),
        ('msm', 'I', ANY), ('model', 'I', ANY)], ANY)
    if values is not None:
        strings = values['rest'].split(b'\0')
        r.check(s.name('build id strings'), (len(strings) >= 3, strings[-1]), (True, b''))
    nv_item, nv_data = 0x1C0, bytes(range(16)) + bytes(112)  # an item number clients do not need
    request = struct.pack('<BH128sH', 0x27, nv_item, nv_data, 0)
    reply = s.ask(request)
    written = r.fields(s.name('nv write'), reply, [
        ('code', 'B', 0x27), ('item', 'H', nv_item), ('data', '128s', ANY),
        ('status', 'H', lambda v: v in (0, 5, 6, 7))])
    request = struct.pack('<BH128sH', 0x26, nv_item, bytes(128), 0)
    reply = s.ask(request)
    if written is not None and written['status'] == 0:
        r.fields(s.name('nv read back'), reply, [
            ('code', 'B', 0x26), ('item', 'H', nv_item), ('data', '128s', nv_data), ('status', 'H', 0)])
    request = struct.pack('<BH128sH', 0x26, 0x3FFF, bytes(128), 0)
    reply = s.ask(request)
    r.fields(s.name('nv read of an unset item'), reply, [
        ('code', 'B', 0x26), ('item', 'H', 0x3FFF), ('data', '128s', ANY), ('status', 'H', 5)])
    for request, what in ((b'\xfe\x01\x02', 'unknown command'),
                          (bytes.fromhex('4b99000001'), 'unknown subsystem'),
                          (bytes.fromhex('4b12ff7f'), 'unknown command of another subsystem')):
        r.rejected(s.name(what), request, s.ask(request))


def group_session(s):
    """HELLO and QUERY on both file subsystems, as the two kinds of client send them."""
    r = s.results
    version = [('version', 'I', 1), ('min_version', 'I', at_least(0)), ('max_version', 'I', at_least(1)),
               ('features', 'I', ANY)]
    windows = [(w, 'I', ANY) for w in ('target_packets', 'target_bytes', 'host_packets', 'host_bytes',
                                        'iterator_packets', 'iterator_bytes')]
    for subsystem in (FILE_SUBSYSTEM, ALTERNATE_FILE_SUBSYSTEM):
        r.fields(s.name('hello on %d' % subsystem), s.hello(subsystem),
                 [('header', '4s', header(HELLO, subsystem))] + windows + version)
        # Probing clients send the header and forty zero bytes.
        r.fields(s.name('zero hello on %d' % subsystem), s.hello(subsystem, bytes(40)),
                 [('header', '4s', header(HELLO, subsystem))] + windows + version)
        r.fields(s.name('query on %d' % subsystem), s.ask(efs(QUERY, b'', subsystem)), [
            ('header', '4s', header(QUERY, subsystem)), ('max_name', 'i', is_positive),
            ('max_path', 'i', at_least(len('/data/sub/deep.txt'))),
            ('max_link_depth', 'i', at_least(0)), ('max_file_size', 'i', ANY),
            ('max_directories', 'i', ANY), ('max_mounts', 'i', ANY)])
    node = s.handset['/data']
    s.lstat('/data', node.full_mode, node.mtime, subsystem=ALTERNATE_FILE_SUBSYSTEM, what='lstat on 62')


def group_files(s):
    """OPEN, READ, WRITE, FSTAT and CLOSE, with the error numbers of their failures."""
    readme = s.handset['/readme.txt']
    fd = s.open(readme.path)
    s.fstat(fd, readme, len(readme.data), 'fstat readme')
    s.read(fd, 512, 0, readme.data, 'read readme')
    s.read(fd, 512, len(readme.data), b'', 'read at the end')
    s.close(fd)
    s.close(fd, errno=EBADF, what='close twice')

    settings = s.handset['/data/settings.bin']
    fd = s.open(settings.path)
    data = s.read_all(fd, len(settings.data), settings.data, 'read settings')
    s.results.check(s.name('settings whole'), data, settings.data)
    s.read(fd, 1024, 100, settings.data[100:], 'read of 1024')  # the chunk public tools ask for
    s.close(fd)

    s.open('/data/none.bin', errno=ENOENT, what='open a missing file')
    s.open('/none/x.bin', flags=O_CREAT_WRITE, mode=0o644, errno=ENOENT, what='create in a missing folder')

    created = Node('/data/new.bin', 'file', 0o644, 0, pattern(2000, 11))
    fd = s.open(created.path, flags=O_CREAT_WRITE, mode=S_IFREG | 0o644, what='create')
    s.write(fd, 0, created.data[:1024], 'write of 1024')  # as one public shell writes
    s.write(fd, 1024, created.data[1024:], 'write')
    s.fstat(fd, created, len(created.data), 'fstat written')
    s.close(fd)
    fd = s.open(created.path)
    s.results.check(s.name('read back'), s.read_all(fd, len(created.data), created.data, 'read back'),
                    created.data)
    s.close(fd)
    s.close(1234567, errno=EBADF, what='close a foreign descriptor')


def group_dirs(s):
    """Listings, LSTAT and the names commands, with their error numbers."""
    s.check_listing('/', 'list root')
    s.check_listing('/data', 'list data')
    s.check_listing('/data/sub', 'list sub')
    for path, node in sorted(s.handset.nodes.items()):
        s.lstat(path, node.full_mode, node.mtime)
    s.lstat('/none', errno=ENOENT, what='lstat a missing name')

    s.errno_only(MKDIR, struct.pack('<H', 0o755) + text('/made'), 0, 'mkdir')
    s.lstat('/made', S_IFDIR | 0o755, what='lstat made')
    s.errno_only(MKDIR, struct.pack('<H', 0o755) + text('/made'), EEXIST, 'mkdir twice')
    s.errno_only(MKDIR, struct.pack('<H', 0o755) + text('/none/made'), ENOENT, 'mkdir in a missing folder')
    s.errno_only(RENAME, text('/made') + text('/moved'), 0, 'rename')
    s.lstat('/made', errno=ENOENT, what='lstat the old name')
    s.lstat('/moved', S_IFDIR | 0o755, what='lstat the new name')
    s.errno_only(RENAME, text('/none') + text('/other'), ENOENT, 'rename a missing name')
    readme = s.handset['/readme.txt']
    s.errno_only(RENAME, text(readme.path) + text('/moved/readme.txt'), 0, 'move a file')
    s.lstat('/moved/readme.txt', readme.full_mode, readme.mtime, what='lstat the moved file')
    s.errno_only(RMDIR, text('/data'), ENOTEMPTY, 'rmdir a full folder')
    s.errno_only(RMDIR, text('/none'), ENOENT, 'rmdir a missing folder')
    s.errno_only(UNLINK, text('/moved/readme.txt'), 0, 'unlink')
    s.errno_only(RMDIR, text('/moved'), 0, 'rmdir')
    s.lstat('/moved', errno=ENOENT, what='lstat the removed folder')
    s.errno_only(UNLINK, text('/none'), ENOENT, 'unlink a missing file')
    reply = s.ask(efs(OPENDIR, text('/none')))
    s.results.fields(s.name('opendir a missing folder'), reply, [
        ('header', '4s', header(OPENDIR)), ('dirp', 'I', ANY), ('errno', 'i', ENOENT)])
    reply = s.ask(efs(OPENDIR, text('/data/empty.txt')))
    s.results.fields(s.name('opendir a file'), reply, [
        ('header', '4s', header(OPENDIR)), ('dirp', 'I', ANY), ('errno', 'i', ENOTDIR)])


def group_stat(s):
    """STAT (15)."""
    for path, node in sorted(s.handset.nodes.items()):
        s.stat(path, node.full_mode, len(node.data) if node.kind == 'file' else None, node.mtime)
    s.stat('/none', errno=ENOENT, what='stat a missing name')
    s.stat('/none/deeper', errno=ENOENT, what='stat below a missing name')


def group_links(s):
    """SYMLINK (6), READLINK (7), and LSTAT and STAT of links, seeded and made."""
    readme = s.handset['/readme.txt']
    seeded = s.handset['/links/seeded']
    reply = s.ask(efs(READLINK, text(seeded.path)))
    s.results.fields(s.name('readlink seeded'), reply, [('header', '4s', header(READLINK)), ('errno', 'i', 0)],
                     text(seeded.target))
    values = s.lstat(seeded.path, ANY, what='lstat seeded')
    if values is not None:
        s.results.check(s.name('lstat seeded type'), values['mode'] & S_IFMT, S_IFLNK)
    s.stat(seeded.path, readme.full_mode, len(readme.data), readme.mtime, what='stat follows seeded')

    s.errno_only(SYMLINK, text(readme.path) + text('/links/made'), 0, 'symlink')
    reply = s.ask(efs(READLINK, text('/links/made')))
    s.results.fields(s.name('readlink made'), reply, [('header', '4s', header(READLINK)), ('errno', 'i', 0)],
                     text(readme.path))
    values = s.lstat('/links/made', ANY, what='lstat made')
    if values is not None:
        s.results.check(s.name('lstat made type'), values['mode'] & S_IFMT, S_IFLNK)
    s.stat('/links/made', readme.full_mode, len(readme.data), readme.mtime, what='stat follows made')
    fd = s.open('/links/made', what='open through a link')
    s.read(fd, 512, 0, readme.data, 'read through a link')
    s.close(fd)
    s.errno_only(SYMLINK, text('/data/sub') + text('/links/made'), EEXIST, 'symlink onto a link')
    s.errno_only(SYMLINK, text('/x') + text(readme.path), EEXIST, 'symlink onto a file')
    s.handset.nodes['/links/made'] = Node('/links/made', 'link', 0o777, 0, target=readme.path)
    s.check_listing('/links', 'list links')
    s.errno_only(UNLINK, text('/links/made'), 0, 'unlink a link')
    s.lstat(readme.path, readme.full_mode, readme.mtime, what='target stays')


def group_chmod(s):
    """CHMOD (18): a 16-bit mode, then the path."""
    s.errno_only(CHMOD, struct.pack('<H', 0o600) + text('/readme.txt'), 0, 'chmod file')
    s.lstat('/readme.txt', S_IFREG | 0o600, what='lstat chmodded file')
    s.errno_only(CHMOD, struct.pack('<H', 0o700) + text('/data'), 0, 'chmod folder')
    s.lstat('/data', S_IFDIR | 0o700, what='lstat chmodded folder')
    s.errno_only(CHMOD, struct.pack('<H', 0o644) + text('/none'), ENOENT, 'chmod a missing name')


def group_access(s):
    """ACCESS (20): one byte of permission bits, then the path."""
    for bits, what in ((0, 'exists'), (4, 'readable')):
        s.errno_only(ACCESS, bytes((bits,)) + text('/readme.txt'), 0, 'access %s' % what)
    s.errno_only(ACCESS, b'\0' + text('/none'), ENOENT, 'access a missing name')


def group_statfs(s):
    """STATFS (19), and STATVFS_V2 (42) where the handset has it."""
    reply = s.ask(efs(STATFS, text('/')))
    s.results.fields(s.name('statfs'), reply, [
        ('header', '4s', header(STATFS)), ('errno', 'i', 0), ('fs_id', 'I', ANY), ('fs_type', '8s', ANY),
        ('block_size', 'I', is_positive), ('total_blocks', 'I', is_positive), ('avail_blocks', 'I', ANY),
        ('free_blocks', 'I', ANY), ('max_file_size', 'I', ANY), ('files', 'I', ANY), ('max_files', 'I', ANY)])
    if len(reply) == 48:
        total, avail, free = struct.unpack_from('<III', reply, 24)
        s.results.check(s.name('statfs counts'), avail <= free <= total, True)
    request = efs(STATVFS_V2, struct.pack('<H', 0x5A5A) + text('/'))
    reply = s.ask(request)
    if reply[:1] == bytes((BAD_COMMAND,)):
        s.results.rejected(s.name('statvfs_v2 not offered'), request, reply)
    else:
        s.results.fields(s.name('statvfs_v2'), reply, [
            ('header', '4s', header(STATVFS_V2)), ('sequence', 'H', 0x5A5A), ('errno', 'i', 0),
            ('fs_id', 'I', ANY), ('fs_type', '8s', ANY), ('block_size', 'I', is_positive)]
            + [(f, 'I', ANY) for f in ('total', 'avail', 'free', 'max_file_size', 'files', 'max_files',
                                      'max_write', 'max_path', 'case_sensitive', 'case_preserving',
                                      'max_file_size2', 'size_units', 'max_open', 'name_rule',
                                      'name_encoding')])


def group_devinfo(s):
    """DEV_INFO (21): the flash under the file system, or 'not NAND flash'."""
    reply = s.ask(efs(DEV_INFO))
    values = s.results.fields(s.name('dev_info'), reply, [
        ('header', '4s', header(DEV_INFO)), ('errno', 'i', lambda e: e in (0, FS_DIAG_NOT_NAND_FLASH))], ANY)
    if values is not None and values['errno'] == 0:
        info = s.results.fields(s.name('dev_info fields'), reply, [
            ('header', '4s', ANY), ('errno', 'i', 0), ('blocks', 'i', is_positive),
            ('pages_per_block', 'i', is_positive), ('page_size', 'i', is_positive),
            ('total_page_size', 'i', ANY), ('maker', 'i', ANY), ('device', 'i', ANY),
            ('type', 'B', lambda t: t in (0, 1))], ANY)
        if info is not None:
            name = info['rest']
            s.results.check(s.name('dev_info name'),
                            (name.endswith(b'\0'), b'\0' in name[:-1], name[:-1].isascii()), (True, False, True))


def sequenced(command, sequence, body=b''):
    return efs(command, struct.pack('<H', sequence) + body)


def group_deltree(s):
    """DELTREE (37): a sequence number, then the path; the answer repeats it."""
    reply = s.ask(sequenced(DELTREE, 0x1234, text('/data')))
    s.results.fields(s.name('deltree'), reply, [
        ('header', '4s', header(DELTREE)), ('sequence', 'H', 0x1234), ('errno', 'i', 0)])
    s.lstat('/data', errno=ENOENT, what='lstat deleted tree')
    s.lstat('/data/sub/deep.txt', errno=ENOENT, what='lstat deleted leaf')
    s.lstat('/readme.txt', s.handset['/readme.txt'].full_mode, what='neighbour stays')
    reply = s.ask(sequenced(DELTREE, 7, text('/none')))
    s.results.fields(s.name('deltree a missing name'), reply, [
        ('header', '4s', header(DELTREE)), ('sequence', 'H', 7), ('errno', 'i', ENOENT)])


def group_truncate(s):
    """TRUNCATE (40) by name and FTRUNCATE (41) by descriptor."""
    settings = s.handset['/data/settings.bin']
    reply = s.ask(sequenced(TRUNCATE, 0x0101, struct.pack('<I', 100) + text(settings.path)))
    s.results.fields(s.name('truncate'), reply, [
        ('header', '4s', header(TRUNCATE)), ('sequence', 'H', 0x0101), ('errno', 'i', 0)])
    fd = s.open(settings.path)
    s.fstat(fd, Node(settings.path, 'file', settings.mode, 0), 100, 'fstat truncated')
    s.results.check(s.name('truncated data'), s.read_all(fd, 100, settings.data, 'read truncated'),
                    settings.data[:100])
    s.close(fd)
    readme = s.handset['/readme.txt']
    fd = s.open(readme.path, flags=O_RDWR)
    reply = s.ask(sequenced(FTRUNCATE, 0x0202, struct.pack('<Ii', 5, fd)))
    s.results.fields(s.name('ftruncate'), reply, [
        ('header', '4s', header(FTRUNCATE)), ('sequence', 'H', 0x0202), ('errno', 'i', 0)])
    s.fstat(fd, Node(readme.path, 'file', readme.mode, 0), 5, 'fstat ftruncated')
    s.close(fd)
    reply = s.ask(sequenced(TRUNCATE, 3, struct.pack('<I', 0) + text('/none')))
    s.results.fields(s.name('truncate a missing file'), reply, [
        ('header', '4s', header(TRUNCATE)), ('sequence', 'H', 3), ('errno', 'i', ENOENT)])


def group_md5(s):
    """MD5SUM (43): a sequence number and the path; the digest of the whole file."""
    for path in ('/data/settings.bin', '/data/empty.txt', '/readme.txt'):
        reply = s.ask(sequenced(MD5SUM, 0x4242, text(path)))
        s.results.fields(s.name('md5sum ' + path), reply, [
            ('header', '4s', header(MD5SUM)), ('sequence', 'H', 0x4242), ('errno', 'i', 0),
            ('digest', '16s', hashlib.md5(s.handset[path].data).digest())])
    reply = s.ask(sequenced(MD5SUM, 9, text('/none')))
    s.results.fields(s.name('md5sum a missing file'), reply, [
        ('header', '4s', header(MD5SUM)), ('sequence', 'H', 9), ('errno', 'i', ENOENT)], ANY)


def group_items(s):
    """PUT (38) and GET (39) of an item file, in the forms docs/protocol.md recommends.

    Public clients disagree on these two layouts (see the notes)."""
    value = bytes.fromhex('01020304')
    path = '/data/item'
    request = efs(PUT, struct.pack('<IiI', len(value), 0o101, 0o644) + value + text(path))
    reply = s.ask(request)
    s.results.fields(s.name('put'), reply, [
        ('header', '4s', header(PUT)), ('sequence', 'H', 0), ('errno', 'i', 0)])
    reply = s.ask(efs(GET, struct.pack('<IIH', 128, len(text(path)), 0x0303) + text(path)))
    s.results.fields(s.name('get'), reply, [
        ('header', '4s', header(GET)), ('bytes', 'i', len(value)), ('errno', 'i', 0),
        ('sequence', 'H', 0x0303)], value)
    values = s.lstat(path, ANY, what='lstat item')
    if values is not None:
        s.results.check(s.name('item type'), values['mode'] & S_IFMT, S_IFITM)
    reply = s.ask(efs(GET, struct.pack('<IIH', 128, len(text('/none')), 4) + text('/none')))
    s.results.fields(s.name('get a missing item'), reply, [
        ('header', '4s', header(GET)), ('bytes', 'i', ANY), ('errno', 'i', ENOENT), ('sequence', 'H', 4)], ANY)


def group_malformed(s):
    """Unknown subcommands and requests too short for their command."""
    for subsystem in (FILE_SUBSYSTEM, ALTERNATE_FILE_SUBSYSTEM):
        request = efs(200, b'\x01\x02', subsystem)
        s.results.rejected(s.name('unknown subcommand on %d' % subsystem), request, s.ask(request))
    general = (BAD_COMMAND, BAD_PARAMETERS, BAD_LENGTH)
    for request, what in ((efs(LSTAT, b'/no-nul'), 'path without its NUL'),
                          (efs(READ, b'\x01\x00'), 'read cut short'),
                          (efs(CLOSE), 'close without a descriptor'),
                          (bytes((SUBSYS_DISPATCH, FILE_SUBSYSTEM)), 'header cut short')):
        s.results.rejected(s.name(what), request, s.ask(request), general)
    s.lstat('/readme.txt', s.handset['/readme.txt'].full_mode, what='lstat still answered')


# (name, function, whether the seed holds a host symbolic link)
GROUPS = [
    ('startup', group_startup, False),
    ('session', group_session, False),
    ('files', group_files, False),
    ('dirs', group_dirs, False),
    ('stat', group_stat, False),
    ('links', group_links, True),
    ('chmod', group_chmod, False),
    ('access', group_access, False),
    ('statfs', group_statfs, False),
    ('devinfo', group_devinfo, False),
    ('deltree', group_deltree, False),
    ('truncate', group_truncate, False),
    ('md5', group_md5, False),
    ('items', group_items, False),
    ('malformed', group_malformed, False),
]


def run_group(args, results, name, function, with_links, seeds):
    nodes = seed_nodes() + (LINK_NODES if with_links else [])
    seed = seeds['links' if with_links else 'plain']
    server = None
    before = results.failed
    try:
        server = Server(args, seed)
        transport = open_transport(server.address)
        try:
            function(Session(Link(transport, args.timeout), results, name, Handset(nodes)))
        finally:
            transport.close()
    except (ProtocolError, OSError, struct.error) as error:
        results.fail(name, 'stopped: %s' % error)
    finally:
        trouble = server.stop() if server else ''
        if trouble:
            results.fail(name + '/server', trouble)
    print('%-10s %s' % (name, 'ok' if results.failed == before else 'FAILED'))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--program', help='the vornak-efs program to serve the emulated handset')
    parser.add_argument('--transport', choices=('pty', 'tcp'), default='pty',
                        help='how serve offers the handset: its pseudo-terminal, or a loopback port')
    parser.add_argument('--connect', metavar='PORT', help='a server already running: serial:PATH or tcp:HOST:PORT')
    parser.add_argument('--seed', help='with --connect: the folder that server was seeded from')
    parser.add_argument('--only', help='comma-separated groups to run (default: all)')
    parser.add_argument('--list', action='store_true', help='list the groups and stop')
    parser.add_argument('--timeout', type=float, default=5.0, help='seconds to wait for each answer')
    parser.add_argument('-v', '--verbose', action='store_true', help='print every check, not only failures')
    args = parser.parse_args()

    if args.list:
        for name, function, _ in GROUPS:
            print('%-10s %s' % (name, function.__doc__.split('\n')[0]))
        return 0
    assert crc16_x25(b'123456789') == 0x906E, 'CRC-16/X.25 check value'
    chosen = [g for g in GROUPS if not args.only or g[0] in args.only.split(',')]
    unknown = set(args.only.split(',')) - {g[0] for g in GROUPS} if args.only else set()
    if unknown or not chosen:
        parser.error('unknown group: ' + ', '.join(sorted(unknown)) if unknown else 'no group chosen')
    if not args.connect and not args.program:
        parser.error('give --program, or --connect with --seed')

    results = Results(args.verbose)
    workspace = tempfile.mkdtemp(prefix='efs2-interop-')
    try:
        seeds = {}
        if args.connect:
            seeds = {'plain': args.seed, 'links': args.seed}
        else:
            for kind, nodes in (('plain', seed_nodes()), ('links', seed_nodes() + LINK_NODES)):
                seeds[kind] = os.path.join(workspace, kind)
                os.mkdir(seeds[kind])
                write_seed(seeds[kind], nodes)
        for name, function, with_links in chosen:
            run_group(args, results, name, function, with_links, seeds)
    finally:
        shutil.rmtree(workspace, ignore_errors=True)
    print('%d passed, %d failed' % (results.passed, results.failed))
    return 0 if results.failed == 0 else 1


if __name__ == '__main__':
    sys.exit(main())
