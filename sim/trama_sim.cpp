// Framing, fault injection and the session log of one connection.
#include "trama_sim.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <ctime>

#include "codigo.h"
#include "formato.h"
#include "tablas_sim.h"

namespace {
void pausa_ms(int ms) {
  timespec t{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&t, &t) == -1 && errno == EINTR) {
  }
}

bool envia_todo(int fd, const char* datos, size_t n) {
  while (n > 0) {
    ssize_t r = send(fd, datos, n, MSG_NOSIGNAL);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    datos += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

void corta(Conexion& c, const char* motivo) {
  anota(c, "** fallo provocado: %s; se cierra la conexion", motivo);
  shutdown(c.fd, SHUT_RDWR);
  c.cortada = true;
}

// The payload as the log shows it: decoded the way the client reads it, in
// UTF-8, control bytes as \xNN, long payloads cut.
void anota_carga(Conexion& c, const char* sentido, const std::string& carga, bool ebcdic) {
  if (!c.registro) return;
  std::string legible;
  size_t tope = carga.size() < 600 ? carga.size() : 600;
  for (size_t i = 0; i < tope; i++) {
    unsigned char b = static_cast<unsigned char>(carga[i]);
    if (ebcdic) b = ebc_cliente[b];
    if (b < 0x20 || b == 0x7F || b == 0xAE || b == 0xAF) {
      char hex[8];
      formatea(hex, "\\x%02x", b);
      legible += hex;
    } else {
      legible += utf8_de_cp1252(std::string(1, static_cast<char>(b)));
    }
  }
  if (tope < carga.size()) legible += "...";
  std::fprintf(c.registro, "%s %s (%zu) [%s]\n", sentido, ebcdic ? "ebc" : "asc", carga.size(),
               legible.c_str());
  std::fflush(c.registro);
}

bool envia_en_trozos(Conexion& c, const std::string& bytes) {
  const Fallos& f = *c.fallos;
  if (f.trozo <= 0) return envia_todo(c.fd, bytes.data(), bytes.size());
  for (size_t i = 0; i < bytes.size(); i += static_cast<size_t>(f.trozo)) {
    size_t n =
        bytes.size() - i < static_cast<size_t>(f.trozo) ? bytes.size() - i : static_cast<size_t>(f.trozo);
    if (i > 0 && f.pausa_trozo_ms > 0) pausa_ms(f.pausa_trozo_ms);
    if (!envia_todo(c.fd, bytes.data() + i, n)) return false;
  }
  return true;
}
}  // namespace

void anota(Conexion& c, const char* formato, ...) {
  if (!c.registro) return;
  va_list args;
  va_start(args, formato);
  std::fprintf(c.registro, "-- ");
  std::vfprintf(c.registro, formato, args);
  std::fprintf(c.registro, "\n");
  std::fflush(c.registro);
  va_end(args);
}

// The server's side of the framing, written apart from the client's on
// purpose: it reads the length characters strictly (ten digits, in EBCDIC or
// in ASCII, a frame of at least its own ten characters), where the client
// reads them as atoi would, so that a client that sends a bad length is
// caught here instead of being understood the same wrong way.
int recibe_trama(Conexion& c, std::string& carga, bool* digitos_ebcdic) {
  carga.clear();
  unsigned char cabecera[10];
  size_t tomados = 0;
  long esperado = -1;
  for (;;) {
    if (esperado >= 0 && carga.size() == static_cast<size_t>(esperado)) {
      anota_carga(c, "<-", carga, c.registro_ebcdic);
      return static_cast<int>(esperado);
    }
    if (c.ini == c.fin) {
      ssize_t r = recv(c.fd, c.entrada, sizeof c.entrada, 0);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) {
        anota(c, "la conexion se cierra (%s)", r == 0 ? "el cliente cerro" : std::strerror(errno));
        return -1;
      }
      c.ini = 0;
      c.fin = static_cast<size_t>(r);
    }
    if (esperado < 0) {
      while (tomados < 10 && c.ini < c.fin) cabecera[tomados++] = c.entrada[c.ini++];
      if (tomados < 10) continue;
      bool ebc = cabecera[0] >= 0xF0;
      long valor = 0;
      for (unsigned char d : cabecera) {
        unsigned char ascii = ebc ? static_cast<unsigned char>(d - 0xF0 + '0') : d;
        if (ascii < '0' || ascii > '9' || (ebc && d < 0xF0)) {
          anota(c, "longitud de trama no numerica; se cierra");
          return -2;
        }
        valor = valor * 10 + (ascii - '0');
      }
      if (valor < 10 || valor > TAM_TRAMA) {
        anota(c, "longitud de trama no valida (%ld); se cierra", valor);
        return -2;
      }
      if (digitos_ebcdic) *digitos_ebcdic = ebc;
      esperado = valor - 10;
      carga.reserve(static_cast<size_t>(esperado));
    }
    size_t falta = static_cast<size_t>(esperado) - carga.size();
    size_t hay = c.fin - c.ini;
    size_t n = hay < falta ? hay : falta;
    carga.append(reinterpret_cast<const char*>(c.entrada + c.ini), n);
    c.ini += n;
  }
}

bool envia_trama(Conexion& c, const std::string& carga, bool retener) {
  if (c.cortada) return false;
  if (carga.size() > static_cast<size_t>(MAX_CARGA)) {
    anota(c, "mensaje de %zu bytes rechazado: no cabe en una trama", carga.size());
    return false;
  }
  // The delay of a link: every message leaves this long after the session
  // is ready to send it.
  if (c.retardo_ms > 0) pausa_ms(c.retardo_ms);
  const Fallos& f = *c.fallos;
  int numero = ++c.enviados;
  if (f.corta_tras > 0 && numero > f.corta_tras) {
    corta(c, "corte tras el numero de mensajes pedido");
    return false;
  }
  char longitud[16];
  long anunciada = static_cast<long>(carga.size()) + 10;
  if (f.trama_larga == numero) anunciada = TAM_TRAMA + 1 + static_cast<long>(carga.size());
  formatea(longitud, "%.10ld", anunciada);
  std::string trama(longitud, 10);
  if (c.digitos_ebcdic) {
    for (char& d : trama) d = static_cast<char>(asc_cliente[static_cast<unsigned char>(d)]);
  }
  trama += carga;
  anota_carga(c, "->", carga, c.registro_ebcdic);
  if (f.corta_en_trama == numero) {
    std::string mitad = c.retenida + trama.substr(0, trama.size() / 2);
    c.retenida.clear();
    envia_en_trozos(c, mitad);
    corta(c, "corte a mitad de trama");
    return false;
  }
  if (f.trama_larga == numero) {
    std::string todo = c.retenida + trama;
    c.retenida.clear();
    envia_en_trozos(c, todo);
    corta(c, "longitud de trama por encima de 30000");
    return false;
  }
  if (retener && f.dos_tramas && c.retenida.empty()) {
    c.retenida = trama;
    return true;
  }
  std::string todo = c.retenida + trama;
  c.retenida.clear();
  return envia_en_trozos(c, todo);
}

bool vacia_retenida(Conexion& c) {
  if (c.retenida.empty()) return true;
  std::string todo;
  todo.swap(c.retenida);
  return envia_en_trozos(c, todo);
}

bool espera_ok(Conexion& c) {
  std::string respuesta;
  if (recibe_trama(c, respuesta) < 0) return false;
  de_asc_fija(respuesta);
  if (respuesta != "OK") {
    anota(c, "se esperaba OK y llega otra cosa; fin de la sesion");
    return false;
  }
  return true;
}
