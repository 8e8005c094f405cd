"""An attacker's forgery of a module: other bytes of the same length with the
same keyed digest as a genuine module.

The keyed digest runs two passes over a file (forwards, then backwards) over a
state of 16 cells mod 255. Each step copies one cell to another and adds
constants: S[q] = S[j] + c, then S[j] += 2c, where j and q depend only on the
byte and its position, and c = byte + key byte + file length. So any run of
steps turns the state into `old[src[k]] + add[k]` for each cell k: a map that
depends on those bytes alone. Copies overwrite cells, so the steps over a
file's first bytes, which the backward pass takes last, leave the final digest
depending on only one or two cells of the state before them.

The forgery keeps the genuine module's first bytes (a header, for a real
program), puts a few free bytes after them and the attacker's program after
those, padded to the genuine length. Every fixed run of steps is reduced to
one map once; each trial of the free bytes then costs a few dozen steps, and
about 255 trials are needed per cell the final digest still depends on."""

import random

KEY = b"mnbv^&qrs;+plk806@("
CELLS = 16
MOD = 255


def _addends(n, offset, key=KEY):
    out = []
    for b in range(256):
        k = key[(b + offset) % len(key)]
        k = k - 256 if k >= 128 else k
        out.append((b + k + n) % MOD)
    return out


class Map:
    """The state after some steps, as old[src[k]] + add[k] (mod 255)."""

    def __init__(self):
        self.src = list(range(CELLS))
        self.add = [0] * CELLS

    def step(self, q, j, c):
        s, a = self.src[j], self.add[j]
        self.src[q], self.add[q] = s, (a + c) % MOD
        self.src[j], self.add[j] = s, (a + 2 * c) % MOD

    def apply(self, state):
        return [(state[self.src[k]] + self.add[k]) % MOD for k in range(CELLS)]

    def then(self, other):
        """This map followed by `other`."""
        out = Map()
        out.src = [self.src[other.src[k]] for k in range(CELLS)]
        out.add = [(self.add[other.src[k]] + other.add[k]) % MOD for k in range(CELLS)]
        return out


def _forward(m, data, begin, end, addend):
    for i in range(begin, end):
        b = data[i]
        m.step(i % 16, b % 16, addend[b])
    return m


def _backward(m, data, last, first, addend):
    """Backward steps for positions p = last down to first (1-based)."""
    for p in range(last, first - 1, -1):
        b = data[p - 1]
        m.step(p % 16, (b + p % 16) % 16, addend[b])
    return m


def keyed_digest(data, key=KEY):
    """The keyed digest of `data` (at least 128 bytes), as 32 hex digits."""
    n = len(data)
    m = _forward(Map(), data, 0, n, _addends(n, 16, key))
    m = _backward(m, data, n, 1, _addends(n, 17, key))
    return bytes(m.add).hex()


def _best_header(genuine, lengths, backward):
    """The shortest header length, among `lengths`, after which the final
    digest depends on the fewest cells. Longer headers never depend on more:
    their steps come after the shorter one's in the backward pass."""
    best = None
    for a in lengths:
        m = _backward(Map(), genuine, a, 1, backward)
        cells = len(set(m.src))
        if best is None or cells < best[0]:
            best = (cells, a, m)
        if cells == 1:
            break
    return best


def forge(genuine, payload, free=8, seed=1, max_trials=2000000):
    """Bytes of len(genuine) that begin with the genuine header, hold
    `payload` and have the keyed digest of `genuine`. Returns (bytes, trials)."""
    n = len(genuine)
    forward, backward = _addends(n, 16), _addends(n, 17)
    cells, a, tail = _best_header(genuine, range(16, min(1024, n // 2)), backward)
    body = a + free
    if body + len(payload) > n:
        raise ValueError("the payload does not fit")
    data = bytearray(genuine[:a] + bytes(free) + payload + bytes(n - body - len(payload)))
    target = [int(keyed_digest(genuine)[2 * k:2 * k + 2], 16) for k in range(CELLS)]
    # Needed values of the state before the header's backward steps.
    want = {tail.src[k]: (target[k] - tail.add[k]) % MOD for k in range(CELLS)}
    head = _forward(Map(), data, 0, a, forward).apply([0] * CELLS)
    rest = _backward(_forward(Map(), data, body, n, forward), data, n, body + 1, backward)
    rng = random.Random(seed)
    for trial in range(1, max_trials + 1):
        data[a:body] = rng.randbytes(free)
        m = _forward(Map(), data, a, body, forward).then(rest)
        state = _backward(m, data, body, a + 1, backward).apply(head)
        if all(state[s] == v for s, v in want.items()):
            return bytes(data), trial
    raise RuntimeError("no forgery within %d trials (%d cells)" % (max_trials, cells))
