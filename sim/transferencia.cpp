// Narrowing of a transfer request and the messages of the stream.
#include "transferencia.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <vector>

#include "codigo.h"
#include "fallos_sesion.h"
#include "formato.h"
#include "sistema.h"

namespace {
struct Peticion {
  int codigo = 0;
  std::string biblioteca, archivo, miembro, tipo, fechad, horad;
};

std::string campo(const std::string& s, size_t desde, size_t largo) {
  if (desde >= s.size()) return "";
  std::string v = s.substr(desde, largo);
  while (!v.empty() && v.back() == ' ') v.pop_back();
  return v;
}

std::string solo_cifras(const std::string& s) {
  size_t n = 0;
  while (n < s.size() && std::isdigit(static_cast<unsigned char>(s[n]))) n++;
  return s.substr(0, n);
}

// The request carries `tipo` only when a member is named; without one the
// date moves up to offset 37. FECHAD and HORAD are joined with nothing
// between them, and HORAD alone sits where the date would: a date has eight
// digits, so fewer than eight there are a time.
Peticion lee_peticion(const std::string& p) {
  Peticion r;
  r.codigo = std::atoi(p.substr(0, 2).c_str());
  r.biblioteca = campo(p, 7, 10);
  r.archivo = campo(p, 17, 10);
  r.miembro = campo(p, 27, 10);
  size_t fecha = 37;
  if (p.size() > 27 && p[27] != ' ') {
    r.tipo = campo(p, 37, 4);
    fecha = 41;
  }
  std::string cifras = solo_cifras(campo(p, fecha, 14));
  if (cifras.size() >= 8) {
    r.fechad = cifras.substr(0, 8);
    r.horad = cifras.substr(8);
  } else {
    r.horad = cifras.substr(0, 6);
  }
  return r;
}

// A blank name or *ALL means all; a name ending in "*" is generic.
bool casa(const std::string& patron, const std::string& nombre) {
  if (patron.empty() || patron == "*ALL") return true;
  if (patron.back() == '*') return nombre.compare(0, patron.size() - 1, patron, 0, patron.size() - 1) == 0;
  return patron == nombre;
}

bool igual_sin_caso(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

bool pasa_filtro(const Peticion& p, const Objeto& o) {
  if (!casa(p.biblioteca, o.biblioteca) || !casa(p.archivo, o.archivo)) return false;
  if (!p.miembro.empty() && p.miembro != "*ALL") {
    const std::string& propio = o.miembro.empty() ? o.archivo : o.miembro;
    if (!casa(p.miembro, propio)) return false;
  }
  if (!p.tipo.empty() && !igual_sin_caso(p.tipo, o.tipo)) return false;
  // FECHAD and HORAD keep what changed at or after that moment; HORAD alone
  // is a time of any day.
  if (!p.fechad.empty()) {
    std::string desde = p.fechad + p.horad + std::string(6 - std::min<size_t>(6, p.horad.size()), '0');
    if (o.fecha + o.hora < desde) return false;
  } else if (!p.horad.empty() && o.hora < p.horad) {
    return false;
  }
  return true;
}

// A CP1252 field blank-padded or cut to its width, in EBCDIC.
std::string fijo(const std::string& texto, size_t ancho) {
  std::string v = texto.substr(0, ancho);
  v.resize(ancho, ' ');
  a_ebcdic(v);
  return v;
}

std::string numero(long valor, int cifras) {
  char buf[24];
  formatea(buf, "%.*ld", cifras, valor);
  std::string v = buf;
  a_ebcdic(v);
  return v;
}

// Lock-step sender. With the two-frames switch a message is held back and
// leaves with the next one, whose "OK"s are then awaited together.
struct Emisor {
  Conexion& c;
  const Opciones& op;
  int pendientes = 0;

  bool envia(const std::string& m) {
    bool retener = c.fallos->dos_tramas && c.retenida.empty();
    if (!envia_trama(c, m, retener)) return false;
    pendientes++;
    if (!c.retenida.empty()) return true;
    for (; pendientes > 0; pendientes--) {
      if (!espera_ok(c)) return false;
    }
    return true;
  }

  // The end code gets no answer; a held-back message still does.
  bool termina() {
    if (!envia_trama(c, numero(CODIGO_FIN, 2) + numero(7, 5))) return false;
    for (; pendientes > 0; pendientes--) {
      if (!espera_ok(c)) return false;
    }
    return true;
  }

  std::string nombre_archivo(const Objeto& o) const {
    return c.fallos->nombre_hostil.empty() ? o.archivo : c.fallos->nombre_hostil;
  }

  // Text blocks 02 or 08: records ended by 0x15, cut anywhere to fill blocks.
  bool bloques_texto(const char* cod, const std::string& datos) {
    size_t cabe = static_cast<size_t>(op.bloque) - 7;
    for (size_t i = 0; i < datos.size(); i += cabe) {
      std::string trozo = datos.substr(i, cabe);
      long largo = 7 + static_cast<long>(trozo.size()) + (c.fallos->bloque_mentiroso ? 100 : 0);
      if (!envia(fijo(cod, 2) + numero(std::min(largo, 99999L), 5) + trozo)) return false;
    }
    return true;
  }

  bool fuente_o_datos(const Objeto& o, const std::string& datos) {
    bool fuente = o.clase == FUENTE;
    std::string cab = fijo(fuente ? "01" : "03", 2) + numero(105, 5) + fijo(o.biblioteca, 10) +
                      fijo(nombre_archivo(o), 10) + fijo(o.miembro, 10) + fijo(o.tipo, 4) +
                      fijo(o.texto, 50) + fijo(o.fecha, 8) + fijo(o.hora, 6);
    if (!envia(cab)) return false;
    if (fuente) return bloques_texto("02", datos);
    // Raw blocks carry whole records only.
    size_t r = static_cast<size_t>(o.reclen);
    size_t por_bloque = std::max<size_t>(1, (static_cast<size_t>(op.bloque) - 12) / r) * r;
    for (size_t i = 0; i < datos.size(); i += por_bloque) {
      std::string trozo = datos.substr(i, por_bloque);
      if (trozo.size() + 12 > static_cast<size_t>(MAX_CARGA))
        trozo.resize(static_cast<size_t>(MAX_CARGA) - 12);
      if (!envia(fijo("04", 2) + numero(12 + static_cast<long>(trozo.size()), 5) + numero(o.reclen, 5) +
                 trozo)) {
        return false;
      }
    }
    return true;
  }

  // The converted copy is exactly one block: a longer file is cut there.
  bool convertido(const Objeto& o, std::string datos) {
    size_t cabe = static_cast<size_t>(op.bloque) - 7;
    if (datos.size() > cabe) {
      anota(c, "%s/%s: copia convertida cortada a %zu bytes", o.biblioteca.c_str(), o.archivo.c_str(), cabe);
      datos.resize(cabe);
    }
    return envia(fijo("05", 2) + numero(27, 5) + fijo(o.biblioteca, 10) + fijo(nombre_archivo(o), 10)) &&
           envia(fijo("05", 2) + numero(static_cast<long>(datos.size()), 5) + datos);
  }

  bool mensajes(const Objeto& o, const std::string& datos) {
    return envia(fijo("07", 2) + numero(91, 5) + fijo(o.biblioteca, 10) + fijo(nombre_archivo(o), 10) +
                 fijo(o.texto, 50) + fijo(o.fecha, 8) + fijo(o.hora, 6)) &&
           bloques_texto("08", datos);
  }

  // The client starts its column count again in every spool block, so blocks
  // hold whole printed lines: R bytes each in layout 67, up to a 0x03 in 68.
  bool spool(const Objeto& o, const std::string& datos) {
    size_t cab = o.formato == 67 ? 11 : 12;
    size_t cabe = static_cast<size_t>(op.bloque) - cab;
    size_t i = 0;
    while (i < datos.size()) {
      size_t n;
      if (o.formato == 67) {
        size_t r = static_cast<size_t>(o.reclen);
        n = std::min(datos.size() - i, std::max<size_t>(1, cabe / r) * r);
      } else {
        n = 0;
        for (;;) {
          size_t fin = datos.find('\x03', i + n);
          size_t linea = (fin == std::string::npos ? datos.size() : fin + 1) - (i + n);
          if (n > 0 && n + linea > cabe) break;
          n += linea;
          if (i + n >= datos.size()) break;
        }
      }
      n = std::min(n, static_cast<size_t>(MAX_CARGA) - cab);
      std::string m = fijo(o.formato == 67 ? "67" : "68", 2) + numero(static_cast<long>(cab + n), 5) +
                      numero(o.reclen, o.formato == 67 ? 4 : 5) + datos.substr(i, n);
      if (!envia(m)) return false;
      i += n;
    }
    return true;
  }
};
}  // namespace

void sirve_transferencia(Conexion& c, const std::string& texto, const Opciones& op) {
  Peticion p = lee_peticion(texto);
  const Fallos* antes = c.fallos;
  c.fallos = fallos_de_peticion(op, p.archivo, p.miembro, c.fallos);
  if (c.fallos != antes) anota(c, "la peticion nombra %s: fallos en esta sesion", p.archivo.c_str());
  anota(c, "peticion %02d biblioteca=[%s] archivo=[%s] miembro=[%s] tipo=[%s] fechad=[%s] horad=[%s]",
        p.codigo, p.biblioteca.c_str(), p.archivo.c_str(), p.miembro.c_str(), p.tipo.c_str(),
        p.fechad.c_str(), p.horad.c_str());
  const char* clases = nullptr;
  switch (p.codigo) {
    case 95:
      clases = "F";
      break;
    case 94:
      clases = "FDCM";
      break;
    case 97:
      clases = "DC";
      break;
    case 66:
    case 67:
      clases = "S";
      break;
    case 96:
      anota(c, "END: fin del trabajo de la sesion");
      return;
    default:
      anota(c, "peticion desconocida; fin de la sesion");
      return;
  }
  sqlite3* cat = abre_catalogo(op.bd);
  if (!cat) {
    anota(c, "no se puede abrir el catalogo de %s", op.bd.c_str());
    return;
  }
  Emisor e{c, op, 0};
  bool ok = true;
  int enviados = 0;
  // A name of its own (not blank, *ALL or generic) narrows the list at once;
  // pasa_filtro still judges every object.
  auto propio = [](const std::string& n) { return !n.empty() && n != "*ALL" && n.back() != '*'; };
  for (const Objeto& o : lista_objetos(cat, clases, propio(p.biblioteca) ? p.biblioteca : "",
                                       propio(p.archivo) ? p.archivo : "")) {
    if (!pasa_filtro(p, o)) continue;
    std::string datos = contenido_objeto(cat, o.id);
    switch (o.clase) {
      case FUENTE:
      case DATOS:
        ok = e.fuente_o_datos(o, datos);
        break;
      case CONVERTIDO:
        ok = e.convertido(o, datos);
        break;
      case MENSAJES:
        ok = e.mensajes(o, datos);
        break;
      default:
        ok = e.spool(o, datos);
        break;
    }
    if (!ok) break;
    enviados++;
  }
  sqlite3_close(cat);
  if (!ok || !e.termina()) return;
  anota(c, "fin del envio: %d objetos", enviados);
  // List modes answer with the end message 9600; spool modes just close.
  std::string fin;
  if (recibe_trama(c, fin) >= 0) {
    de_asc_fija(fin);
    anota(c, "el cliente termina con [%s]", fin.c_str());
  }
}
