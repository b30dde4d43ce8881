"""Timing of one run and the paired statistics of the benchmark table.

A run is a child process started through the small launcher `mide` (mide.c),
which takes the wall time around fork, exec and wait4 and the peak resident
set and CPU time of that child alone from wait4's rusage: a child forked
straight from this interpreter would report the interpreter's own size."""

import os
import subprocess
import tempfile
import time

LANZADOR = None  # path of the compiled mide, set by the runner


class FalloDeEjecucion(Exception):
    pass


class Medida:
    def __init__(self, segundos, rss_kb, cpu):
        self.segundos = segundos
        self.rss_kb = rss_kb
        self.cpu = cpu  # user + system seconds of the child


def ejecuta(orden, cwd=None, env=None, entrada=None, salida=None, estados=(0,)):
    """Runs orden once; raises FalloDeEjecucion when its exit status is not
    in estados, with the end of what it wrote on its error stream."""
    fin = open(entrada, "rb") if entrada else subprocess.DEVNULL
    out = open(salida, "wb") if salida else subprocess.DEVNULL
    fd, resultado = tempfile.mkstemp(prefix="mide-")
    os.close(fd)
    try:
        p = subprocess.run([LANZADOR, resultado] + list(orden), cwd=cwd, env=env, stdin=fin, stdout=out,
                           stderr=subprocess.PIPE)
        with open(resultado) as f:
            campos = f.read().split()
    finally:
        os.remove(resultado)
        for f in (fin, out):
            if f is not subprocess.DEVNULL:
                f.close()
    if p.returncode != 0 or len(campos) != 4:
        raise FalloDeEjecucion("%s: the launcher failed\n%s" % (" ".join(orden), p.stderr.decode("latin-1")))
    segundos, rss_kb, cpu, estado = float(campos[0]), int(campos[1]), float(campos[2]), int(campos[3])
    if estado not in estados:
        raise FalloDeEjecucion("%s: exit status %d\n%s" % (" ".join(orden), estado,
                                                           p.stderr.decode("latin-1")[-2000:]))
    return Medida(segundos, rss_kb, cpu)


def mediana(valores):
    v = sorted(valores)
    n = len(v)
    if n == 0:
        raise ValueError("mediana de nada")
    return v[n // 2] if n % 2 else (v[n // 2 - 1] + v[n // 2]) / 2.0


class Rondas:
    """The result of rondas(): per-side lists of Medida, in run order."""

    def __init__(self, nombres):
        self.nombres = nombres
        self.medidas = {n: [] for n in nombres}

    def segundos(self, nombre):
        return [m.segundos for m in self.medidas[nombre]]

    def mediana(self, nombre, escala=1.0):
        return mediana(self.segundos(nombre)) * escala

    def cociente(self, a, b, escala_a=1.0, escala_b=1.0):
        """Median of the round-by-round ratios a / b (after scaling each)."""
        return mediana([x * escala_a / (y * escala_b)
                        for x, y in zip(self.segundos(a), self.segundos(b))])

    def rss_max(self, nombre):
        return max(m.rss_kb for m in self.medidas[nombre])

    def pares(self):
        return min(len(v) for v in self.medidas.values())


def rondas(lados, pares=5, calentamiento=1, presupuesto=None):
    """Runs the sides alternately, round after round (a, b, c, a, b, c, ...):
    `calentamiento` untimed rounds, then `pares` timed ones. Each side is a
    (name, function) whose function does its own untimed preparation and
    returns the Medida of the timed part. With a time budget in seconds the
    timed rounds stop early, after at least one, once the next round would
    go past it; the table shows how many were run."""
    r = Rondas([n for n, _ in lados])
    for _ in range(calentamiento):
        for _, f in lados:
            f()
    inicio = time.perf_counter()
    for i in range(pares):
        for nombre, f in lados:
            r.medidas[nombre].append(f())
        usado = time.perf_counter() - inicio
        if presupuesto is not None and usado / (i + 1) * (i + 2) > presupuesto:
            break
    return r
