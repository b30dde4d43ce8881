"""One row per comparison and the Markdown table of a benchmark run.

The ratio is always vortcp's time over the other side's time, the median of
the round-by-round ratios (not the ratio of the medians), so below 1 vortcp
is faster. A target is a largest acceptable ratio. A row may carry its own
peak RSS target (the several-session rows); the others take the table's."""


def tiempo(segundos):
    if segundos >= 1:
        return "%.3f s" % segundos
    if segundos >= 1e-3:
        return "%.2f ms" % (segundos * 1e3)
    return "%.1f us" % (segundos * 1e6)


class Fila:
    def __init__(self, nombre, a=None, b=None, cociente=None, rondas=0, rss_kb=None, objetivo=None,
                 nota="", omitida="", rss_objetivo_kb=None):
        self.nombre = nombre
        self.a, self.b, self.cociente = a, b, cociente
        self.rondas, self.rss_kb = rondas, rss_kb
        self.objetivo, self.nota, self.omitida = objetivo, nota, omitida
        self.rss_objetivo_kb = rss_objetivo_kb

    @classmethod
    def de_rondas(cls, nombre, r, a, b, objetivo=None, nota="", escala_a=1.0, escala_b=1.0, rss_objetivo_kb=None):
        return cls(nombre, r.mediana(a, escala_a), r.mediana(b, escala_b),
                   r.cociente(a, b, escala_a, escala_b), r.pares(), r.rss_max(a), objetivo, nota,
                   rss_objetivo_kb=rss_objetivo_kb)

    @classmethod
    def omitida(cls, nombre, motivo):
        return cls(nombre, omitida=motivo)

    def celdas(self, rss_objetivo_kb):
        if self.omitida:
            return [self.nombre, "skipped", "", "", "", "", "", self.omitida]
        if self.objetivo is None:
            objetivo = "reference"
        else:
            objetivo = "<= %.2f: %s" % (self.objetivo, "met" if self.cociente <= self.objetivo else "NOT met")
        if self.rss_objetivo_kb is not None:
            rss_objetivo_kb = self.rss_objetivo_kb
        rss = "%.1f MB%s" % (self.rss_kb / 1024.0, "" if self.rss_kb < rss_objetivo_kb else " (over)")
        return [self.nombre, tiempo(self.a), tiempo(self.b), "%.2f" % self.cociente, objetivo,
                str(self.rondas), rss, self.nota]


CABECERA = ["Benchmark", "vortcp median", "peer or limit median", "ratio (median of pairs)", "target",
            "pairs", "peak RSS vortcp (< 8 MB; several sessions < 16 MB)", "notes"]


def tabla_markdown(filas, rss_objetivo_kb):
    lineas = ["| " + " | ".join(CABECERA) + " |", "|" + "|".join(["---"] * len(CABECERA)) + "|"]
    for f in filas:
        lineas.append("| " + " | ".join(f.celdas(rss_objetivo_kb)) + " |")
    return "\n".join(lineas) + "\n"
