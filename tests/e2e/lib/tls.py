"""TLS for the end-to-end tests: certificates made with the openssl command,
and stunnel as the terminator in front of zizez-sim or a scripted peer.

    certs = Certificados(folder)       # CA, server and client certificates
    with Terminador(certs.servidor, [sim_port]) as t:
        run_vortcp(..., env={"SERVPORT": t.puerto, "VORTCP_TLS": "1",
                             "VORTCP_TLS_CA": certs.ca, ...})

A Terminador forwards port t.puerto + i to destinos[i] (the broker's port
and its session ports keep their offsets), and is ready once stunnel says
so: its ports are taken from below the kernel's range of ephemeral ports,
tried anew when one of them is busy. stunnel's line at the end of each
connection tells how many bytes went each way (cierres, espera_cierres).
"""

import os
import random
import re
import socket
import subprocess
import threading

# stunnel's last line of a connection: bytes to the client, bytes to the server.
FIN_DE_CONEXION = re.compile(r"Connection [a-z/]+: (\d+) byte\(s\) sent to TLS, (\d+) byte\(s\) sent to socket")

# Every certificate but the expired one is valid from now on for this long.
DIAS = 30


class Par:
    """A certificate and its key (PEM files)."""

    def __init__(self, certificado, clave):
        self.certificado = certificado
        self.clave = clave


def _openssl(*args, cwd):
    r = subprocess.run(["openssl"] + list(args), cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if r.returncode != 0:
        raise RuntimeError("openssl %s: %s" % (" ".join(args), r.stderr.decode("latin-1")))


class Certificados:
    """The certificates of the TLS tests, made in `carpeta`:
    ca, otra_ca: two certificate authorities (PEM);
    servidor: signed by ca, for 127.0.0.1 and localhost;
    servidor_otra_ca: the same names, signed by otra_ca;
    servidor_otro_nombre: signed by ca, for zizez.ejemplo only;
    servidor_comodin: signed by ca, for *.zizez.ejemplo;
    servidor_nombre_con_nulo: signed by ca, for "localhost\\0.zizez.ejemplo"
        only (a DNS name that a reader of C strings takes for localhost);
    servidor_caducado: signed by ca, for 127.0.0.1, expired in 2020;
    cliente, cliente_otra_ca: client certificates signed by each authority.
    Keys are RSA (the Windows build imports only RSA client keys)."""

    def __init__(self, carpeta):
        self.carpeta = carpeta
        for nombre in ("ca", "otra_ca", "servidor", "cliente"):
            _openssl("genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048", "-out",
                     nombre + ".key", cwd=carpeta)
        self.ca = self._autoridad("ca", "CA de pruebas de vortcp")
        self.otra_ca = self._autoridad("otra_ca", "Otra CA")
        servidor = "subjectAltName=IP:127.0.0.1,DNS:localhost\nextendedKeyUsage=serverAuth\n"
        cliente = "extendedKeyUsage=clientAuth\n"
        self.servidor = self._firma("servidor", "servidor", "ca", servidor)
        self.servidor_otra_ca = self._firma("servidor_otra_ca", "servidor", "otra_ca", servidor)
        self.servidor_otro_nombre = self._firma("servidor_otro_nombre", "servidor", "ca",
                                                "subjectAltName=DNS:zizez.ejemplo\nextendedKeyUsage=serverAuth\n")
        self.servidor_comodin = self._firma("servidor_comodin", "servidor", "ca",
                                            "subjectAltName=DNS:*.zizez.ejemplo\nextendedKeyUsage=serverAuth\n")
        # The extension written as its DER: the text form takes no NUL.
        nulo = b"localhost\x00.zizez.ejemplo"
        nombres = b"\x82" + bytes([len(nulo)]) + nulo
        self.servidor_nombre_con_nulo = self._firma(
            "servidor_nombre_con_nulo", "servidor", "ca",
            "subjectAltName=DER:%s\nextendedKeyUsage=serverAuth\n" % (b"\x30" + bytes([len(nombres)]) + nombres).hex())
        self.servidor_caducado = self._caducado()
        self.cliente = self._firma("cliente", "cliente", "ca", cliente)
        self.cliente_otra_ca = self._firma("cliente_otra_ca", "cliente", "otra_ca", cliente)

    def _ruta(self, nombre):
        return os.path.join(self.carpeta, nombre)

    def _autoridad(self, nombre, titulo):
        _openssl("req", "-x509", "-new", "-key", nombre + ".key", "-out", nombre + ".pem", "-days", str(DIAS),
                 "-subj", "/CN=" + titulo, cwd=self.carpeta)
        return self._ruta(nombre + ".pem")

    def _peticion(self, clave, sujeto):
        _openssl("req", "-new", "-key", clave + ".key", "-out", clave + ".csr", "-subj", "/CN=" + sujeto,
                 cwd=self.carpeta)
        return clave + ".csr"

    def _firma(self, nombre, clave, autoridad, extensiones):
        with open(self._ruta(nombre + ".ext"), "w") as f:
            f.write(extensiones)
        csr = self._peticion(clave, nombre)
        _openssl("x509", "-req", "-in", csr, "-CA", autoridad + ".pem", "-CAkey", autoridad + ".key",
                 "-CAcreateserial", "-days", str(DIAS), "-extfile", nombre + ".ext", "-out", nombre + ".pem",
                 cwd=self.carpeta)
        return Par(self._ruta(nombre + ".pem"), self._ruta(clave + ".key"))

    def _caducado(self):
        # openssl x509 only signs from now on: the ca command takes the dates.
        c = self.carpeta
        os.makedirs(os.path.join(c, "emitidos"), exist_ok=True)
        open(os.path.join(c, "indice.txt"), "w").close()
        with open(os.path.join(c, "ca.cnf"), "w") as f:
            f.write("[ca]\ndefault_ca = pruebas\n[pruebas]\ndatabase = indice.txt\nnew_certs_dir = emitidos\n"
                    "serial = serie.txt\ndefault_md = sha256\npolicy = cualquiera\nunique_subject = no\n"
                    "[cualquiera]\ncommonName = supplied\n[ext]\nsubjectAltName = IP:127.0.0.1,DNS:localhost\n"
                    "extendedKeyUsage = serverAuth\n")
        with open(os.path.join(c, "serie.txt"), "w") as f:
            f.write("1000\n")
        csr = self._peticion("servidor", "servidor_caducado")
        _openssl("ca", "-batch", "-notext", "-config", "ca.cnf", "-extensions", "ext", "-cert", "ca.pem", "-keyfile",
                 "ca.key", "-startdate", "20200101000000Z", "-enddate", "20200201000000Z", "-in", csr, "-out",
                 "servidor_caducado.pem", cwd=c)
        return Par(self._ruta("servidor_caducado.pem"), self._ruta("servidor.key"))


def _primer_puerto_efimero():
    try:
        with open("/proc/sys/net/ipv4/ip_local_port_range") as f:
            return int(f.read().split()[0])
    except (OSError, ValueError, IndexError):
        return 32768


def _libres(base, n):
    """True when ports base .. base + n - 1 of 127.0.0.1 can all be bound now."""
    abiertos = []
    try:
        for p in range(base, base + n):
            s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            abiertos.append(s)
            s.bind(("127.0.0.1", p))
        return True
    except OSError:
        return False
    finally:
        for s in abiertos:
            s.close()


class Terminador:
    """stunnel in front of destinos (ports of 127.0.0.1): port puerto + i
    takes TLS and forwards its bytes to destinos[i].

    servidor: the Par the terminator presents.
    clientes: a CA file; when given, a client certificate signed by it is
        required.
    tls_max: the highest version offered ("TLSv1.2"), or None."""

    def __init__(self, servidor, destinos, carpeta, clientes=None, tls_max=None):
        self.destinos = list(destinos)
        self.carpeta = carpeta
        self.servidor = servidor
        self.clientes = clientes
        self.tls_max = tls_max
        self.proc = None
        self.puerto = None
        self.lineas = []
        self._cambio = threading.Condition()

    def _configuracion(self, base):
        lineas = ["foreground = yes", "pid =", "syslog = no", "debug = 5"]
        for i, destino in enumerate(self.destinos):
            lineas += ["[s%d]" % i, "accept = 127.0.0.1:%d" % (base + i), "connect = 127.0.0.1:%d" % destino,
                       "cert = " + self.servidor.certificado, "key = " + self.servidor.clave]
            if self.clientes:
                lineas += ["CAfile = " + self.clientes, "verifyChain = yes", "requireCert = yes"]
            if self.tls_max:
                lineas.append("sslVersionMax = " + self.tls_max)
        ruta = os.path.join(self.carpeta, "stunnel-%d.conf" % base)
        with open(ruta, "w") as f:
            f.write("\n".join(lineas) + "\n")
        return ruta

    def _lee(self, proc, listo):
        for linea in proc.stderr:
            linea = linea.decode("latin-1").rstrip("\n")
            with self._cambio:
                self.lineas.append(linea)
                self._cambio.notify_all()
            if "Configuration successful" in linea:
                listo.set()
        listo.set()  # the end of its output: stunnel has exited

    def cierres(self):
        """(bytes sent to the client, bytes sent to the server) of every
        connection that has ended, in order."""
        with self._cambio:
            return [(int(m.group(1)), int(m.group(2))) for m in map(FIN_DE_CONEXION.search, self.lineas) if m]

    def espera_cierres(self, cuantos, plazo=30):
        """cierres() once it holds `cuantos` connections (stunnel ends one a
        little after the client); AssertionError after plazo seconds."""
        with self._cambio:
            if not self._cambio.wait_for(lambda: len(self.cierres()) >= cuantos, plazo):
                raise AssertionError("stunnel ended %d connections, not %d:\n%s"
                                     % (len(self.cierres()), cuantos, "\n".join(self.lineas[-20:])))
        return self.cierres()

    def start(self):
        n = len(self.destinos)
        tope = _primer_puerto_efimero() - n
        for _ in range(40):
            base = random.randrange(10000, tope)
            if not _libres(base, n):
                continue
            listo = threading.Event()
            self.lineas = []
            proc = subprocess.Popen(["stunnel4", self._configuracion(base)], stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            lector = threading.Thread(target=self._lee, args=(proc, listo), daemon=True)
            lector.start()
            if not listo.wait(30):
                proc.kill()
                raise AssertionError("stunnel did not start:\n" + "\n".join(self.lineas[-20:]))
            if proc.poll() is None:
                self.proc, self.puerto, self._lector = proc, base, lector
                return self
            # A port taken in between: another block of ports.
            lector.join(5)
        raise AssertionError("stunnel found no free ports:\n" + "\n".join(self.lineas[-20:]))

    def stop(self):
        if self.proc is not None and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        if self.proc is not None:
            self._lector.join(5)
            self.proc = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
        return False
