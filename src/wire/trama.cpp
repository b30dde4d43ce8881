// Message framing: the ten-character length prefix, the conversion of each
// operation, the session's pending store shared by both receives, and the
// diagnostics of the transfer pair (into the session's trace) and of the SQL
// pair (on the console).
#include "wire/trama.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/contexto.h"
#include "base/texto.h"
#include "wire/canal.h"
#include "wire/lzw.h"
#include "wire/tablas.h"

namespace {

// The wait of each thread's receives (trama.h): its task, and when it last
// ran. A thread runs one session, so this is that session's too.
thread_local TareaEspera tarea_espera = nullptr;
thread_local void* dato_espera = nullptr;
thread_local int64_t ultima_tarea_ms = 0;
// VORTCP_ESPERA in seconds, 0 for none: the same for every session of the
// run, set at start before any session runs.
int limite_espera_s = 0;

// A trace line of the transfer pair: test level 1 only, flushed at once.
__attribute__((format(printf, 2, 3))) void traza(const Sesion& s, const char* formato, ...) {
  if (ctx.test != 1 || s.traza == nullptr) return;
  std::lock_guard<std::mutex> cerrojo(cerrojo_traza());
  va_list args;
  va_start(args, formato);
  vfprintf(s.traza, formato, args);
  va_end(args);
  fflush(s.traza);
}

// A console line of the SQL pair printed through muestra_linea, which adds a
// second line end after the format's own.
__attribute__((format(printf, 1, 2))) void linea_consola(const char* formato, ...) {
  char linea[512];
  va_list args;
  va_start(args, formato);
  formatea_v(linea, sizeof linea, formato, args);
  va_end(args);
  muestra_linea(linea);
}

void convierte(unsigned char* p, int n, const unsigned char* tabla) {
  for (int i = 0; i < n; i++) p[i] = tabla[p[i]];
}

// Assembles the frame (length characters, then the payload) in the
// session's frame buffer and hands it to the socket in one send. Returns
// false, with the socket error code in *codigo, when the send failed.
bool envia_trama(Sesion& s, const char* carga, int len, const unsigned char* tabla_largo,
                 const unsigned char* tabla_carga, const char (&slen)[11], int* codigo) {
  unsigned char* trama = s.trama;
  memcpy(trama, slen, 10);
  memcpy(trama + 10, carga, (size_t)len);
  if (tabla_largo != nullptr) convierte(trama, 10, tabla_largo);
  if (tabla_carga != nullptr) convierte(trama + 10, len, tabla_carga);
  if (canal_envia(s.sd, s.tls, trama, (size_t)len + 10) < 0) {
    *codigo = plat_error_red();
    // "Would block" is not a failure: the send counts as done.
    if (!plat_error_es_bloqueo(*codigo)) return false;
  }
  return true;
}

// How one receive treats the bytes of a frame.
struct ModoRecepcion {
  const unsigned char* tabla_largo;  // conversion of the length characters, or none
  const unsigned char* tabla_carga;  // conversion of the payload, or none
  bool sql;                          // diagnostics of the SQL pair
};

enum class FinRecepcion {
  completa,
  fallo_recv,
  cerrada,
  longitud_no_valida,
  sin_respuesta,
  tarea_fallida,
  a_destiempo  // the caller's deadline passed (the frame begun is kept in the session)
};

// Runs the waiting task, if there is one. False when it asked to give up.
bool corre_tarea(int64_t ahora) {
  ultima_tarea_ms = ahora;
  return tarea_espera == nullptr || tarea_espera(dato_espera);
}

// How long a step of a wait with the deadline `limite` (0: none) may last:
// PERIODO_ESPERA_MS at most, what is left of the deadline, and 1 ms at least
// (what has come already is taken even once the deadline has passed).
int paso_hasta(int64_t limite) {
  if (limite <= 0) return PERIODO_ESPERA_MS;
  int64_t queda = limite - plat_reloj_ms();
  return queda < 1 ? 1 : queda < PERIODO_ESPERA_MS ? (int)queda : PERIODO_ESPERA_MS;
}

// One receive from the socket into destino. Without a task, a limit and a
// deadline, a plain receive that waits as long as the server takes.
// Otherwise it waits in steps: after each step that brought nothing the
// task runs, once nothing has come for the limit the session is given up,
// and once the deadline `limite` (a time of plat_reloj_ms; 0: none) has
// passed, or an interruption is recorded, a wait with one ends
// (a_destiempo). *r gets the receive's result (a count, 0 at a close, -1 on
// failure) when the end is `completa`. The clock of the silence is this
// call's own: it counts from the last piece that came.
FinRecepcion toma_del_socket(Sesion& s, unsigned char* destino, size_t n, long* r, int64_t limite) {
  if (tarea_espera == nullptr && limite_espera_s == 0 && limite <= 0) {
    *r = canal_recibe(s.sd, s.tls, destino, n);
    return FinRecepcion::completa;
  }
  int64_t silencio_desde = -1;  // read only once a step has timed out
  for (;;) {
    int paso = paso_hasta(limite);
    long k = canal_recibe_con_plazo(s.sd, s.tls, destino, n, paso, &s.plazo_ms);
    // An interruption ends a wait with a deadline as the deadline does: it
    // took nothing, and the frame begun stays whole for the next receive.
    if (k < 0 && k != PLAT_SIN_DATOS && limite > 0 && plat_interrupcion() != 0)
      return FinRecepcion::a_destiempo;
    if (k != PLAT_SIN_DATOS) {
      *r = k;
      return FinRecepcion::completa;
    }
    int64_t ahora = plat_reloj_ms();
    if (limite > 0 && ahora >= limite) return FinRecepcion::a_destiempo;
    // The step that timed out had waited that long already.
    if (silencio_desde < 0) silencio_desde = ahora - paso;
    if (limite_espera_s > 0 && ahora - silencio_desde >= (int64_t)limite_espera_s * 1000)
      return FinRecepcion::sin_respuesta;
    if (!corre_tarea(ahora)) return FinRecepcion::tarea_fallida;
  }
}

// The receive loop common to both pairs. Leaves the frame length read from the
// length characters in *largo and the bytes taken in (pending ones included)
// in *tomados. A frame that a receive with a deadline (limite, 0: none) left
// part-way is gone on with; one that this receive leaves at its deadline is
// kept in the session for the next.
FinRecepcion recibe_trama(Sesion& s, unsigned char* buf, const ModoRecepcion& modo, int* largo, int* tomados,
                          int* codigo_error, int64_t limite = 0) {
  unsigned char* trozo = s.trozo;
  char slen[11];
  memcpy(slen, s.empezada_slen, sizeof slen);
  int ilen_aux = s.empezada_tomados;  // bytes of this frame taken in so far
  int ilen_vor = s.empezada_largo;    // the frame length expected: first only its length characters
  s.empezada_tomados = 0;
  s.empezada_largo = 10;
  while (ilen_aux < ilen_vor) {
    int rc;
    if (s.npendientes > 0) {
      if (modo.sql) {
        if (ctx.test == 1) linea_consola("Rec_VORTCP: -> OJO : pila_recrc(%d)\n", s.npendientes);
      } else {
        traza(s, "Rec_VORTCP: -> OJO : pila_recrc(%d)\n", s.npendientes);
      }
      rc = s.npendientes;
      memcpy(trozo, s.pendientes, (size_t)rc);
      s.npendientes = 0;
    } else {
      long r = 0;
      FinRecepcion fin = toma_del_socket(s, trozo, (size_t)(TAM_TRAMA - ilen_aux), &r, limite);
      if (fin == FinRecepcion::a_destiempo) {
        s.empezada_tomados = ilen_aux;
        s.empezada_largo = ilen_vor;
        memcpy(s.empezada_slen, slen, sizeof slen);
      }
      if (fin != FinRecepcion::completa) return fin;
      if (r < 0) {
        *codigo_error = plat_error_red();
        return FinRecepcion::fallo_recv;
      }
      if (r == 0) return FinRecepcion::cerrada;
      rc = (int)r;
    }
    if (modo.sql) {
      if (ctx.test == 1) printf("Recibe ini (%d) ilen=%d (%.*s)\n", rc, ilen_aux, rc, (const char*)trozo);
    } else {
      traza(s, "Rec_VORTCP: rc(%d)\n", rc);
    }
    int i = 0;
    while (i < rc && ilen_aux < 10) {
      unsigned char b = trozo[i++];
      slen[ilen_aux++] = (char)(modo.tabla_largo ? modo.tabla_largo[b] : b);
      if (ilen_aux == 10) {
        ilen_vor = lee_entero(slen);
        // A frame counts its ten length characters: a length below 10 (a
        // negative one, or one that is no number and reads as 0) is as broken
        // as one above the limit.
        if (ilen_vor > TAM_TRAMA || ilen_vor < 10) {
          *largo = ilen_vor;
          return FinRecepcion::longitud_no_valida;
        }
      }
    }
    if (i < rc && ilen_aux < ilen_vor) {
      // Payload: at offset ilen_aux - 10 of the receive buffer.
      int n = rc - i;
      if (n > ilen_vor - ilen_aux) n = ilen_vor - ilen_aux;
      unsigned char* destino = buf + (ilen_aux - 10);
      if (modo.tabla_carga != nullptr) {
        for (int k = 0; k < n; k++) destino[k] = modo.tabla_carga[trozo[i + k]];
      } else {
        memcpy(destino, trozo + i, (size_t)n);
      }
      i += n;
      ilen_aux += n;
    }
    if (i < rc) {
      // Bytes of a later frame: the next receive takes them first. They can
      // never exceed the store, since the chunk they came from did not.
      int n = rc - i;
      memcpy(s.pendientes + s.npendientes, trozo + i, (size_t)n);
      s.npendientes += n;
      ilen_aux += n;
    }
    if (modo.sql && ctx.test == 1) {
      int visible = ilen_aux - 10 > 200 ? ilen_aux - 10 : 200;
      if (visible > TAM_TRAMA) visible = TAM_TRAMA;
      printf("Recibe fin sbuffer=(%d) (%.*s)\n", rc, visible, (const char*)buf);
    }
    if (ilen_aux < ilen_vor) {
      // Part of the frame is still missing. What came is acknowledged at
      // once: a server whose stack holds back the next small piece until
      // then would otherwise wait for the delayed acknowledgement (and the
      // wait acknowledges each piece that comes while it lasts). The rest
      // gets up to 50 ms (no more than the deadline leaves) to arrive whole,
      // so that the next receive takes it in one call; over TLS, what is
      // decrypted already counts.
      plat_acusa_recibo(s.sd);
      int espera_ms = limite > 0 && paso_hasta(limite) < 50 ? paso_hasta(limite) : 50;
      canal_espera_datos(s.sd, s.tls, (size_t)(ilen_vor - ilen_aux), espera_ms);
      // A frame that trickles in is a wait too.
      if (tarea_espera != nullptr) {
        int64_t ahora = plat_reloj_ms();
        if (ahora - ultima_tarea_ms >= PERIODO_ESPERA_MS && !corre_tarea(ahora))
          return FinRecepcion::tarea_fallida;
      }
    }
  }
  if (ilen_vor > 10) buf[ilen_vor - 10] = '\0';
  *largo = ilen_vor;
  *tomados = ilen_aux;
  return FinRecepcion::completa;
}

// On standard error; the half of a result line that standard output may
// hold is not flushed first, so that on a terminal the line stands alone.
void avisa_sin_respuesta() {
  fprintf(stderr, "Sin respuesta del servidor en %d s\n", limite_espera_s);
  fflush(stderr);
}

}  // namespace

std::mutex& cerrojo_traza() {
  static std::mutex cerrojo;
  return cerrojo;
}

int Env_VORTCP(Sesion& s, const char* carga, int len, int en_ebcdic) {
  traza(s, "Env_VORTCP: Inicio ilen(%d), en_ebcdic(%d)\n", len, en_ebcdic);
  if (len < 0 || len > MAX_CARGA) {
    printf("Longitud de trama no valida (%d)\n", len + 10);
    return -1;
  }
  char slen[11];
  formatea(slen, "%.10d", len + 10);
  traza(s, "Env_VORTCP: slen(%s)\n", slen);
  int codigo = 0;
  if (!envia_trama(s, carga, len, asc_fija, en_ebcdic == 1 ? asc_fija : nullptr, slen, &codigo)) {
    // An interrupted run says so itself, once; a session the run stopped
    // is no failure to report.
    if (plat_interrupcion() == 0 && !s.cortada) printf("send() failed with error %d\n", codigo);
    return -1;
  }
  traza(s, "Env_VORTCP: Final ilen(%d)\n", len);
  return len;
}

int Rec_VORTCP(Sesion& s, char* buf) {
  traza(s, "Rec_VORTCP: Inicio\n");
  ModoRecepcion modo{ebc_fija, nullptr, false};
  int largo = 0, tomados = 0, codigo = 0;
  switch (recibe_trama(s, (unsigned char*)buf, modo, &largo, &tomados, &codigo)) {
    case FinRecepcion::fallo_recv:
      if (plat_interrupcion() == 0 && !s.cortada) printf("recv() failed with error %d\n", codigo);
      return -1;
    case FinRecepcion::cerrada:
      if (!s.cortada) printf("Connection closed by client\n");
      return -1;
    case FinRecepcion::longitud_no_valida:
      printf("Longitud de trama no valida (%d)\n", largo);
      return -1;
    case FinRecepcion::sin_respuesta:
      avisa_sin_respuesta();
      return -1;
    case FinRecepcion::tarea_fallida:
    case FinRecepcion::a_destiempo:  // never: no deadline here
      return -1;
    case FinRecepcion::completa:
      break;
  }
  traza(s, "Rec_VORTCP: Final ilen_aux(%d), ilen_vor(%d), pila_recrc(%d)\n", tomados, largo, s.npendientes);
  return largo - 10;
}

int Env_VORTCP_sql(Sesion& s, const char* texto, int en_ebcdic) {
  int len = (int)strnlen(texto, (size_t)MAX_CARGA + 1);
  if (ctx.test == 1) linea_consola("Env_VORTCP: Inicio ilen(%d), en_ebcdic(%d)\n", len, en_ebcdic);
  if (len > MAX_CARGA) {
    if (ctx.test == 1) printf("Longitud de trama no valida (%d)\n", len + 10);
    return -1;
  }
  char slen[11];
  formatea(slen, "%.10d", len + 10);
  if (ctx.test == 1) printf("Env_VORTCP: slen(%s)   sbuffer=[%s]\n", slen, texto);
  if (ctx.test == 1) printf("Env_VORTCP: envia slen(%s)   sbuffer=[%s]\n", slen, texto);
  bool ebcdic = en_ebcdic == 1;
  int codigo = 0;
  if (!envia_trama(s, texto, len, ebcdic ? asc_fija : nullptr, ebcdic ? ctx.tabla_asc : nullptr, slen,
                   &codigo)) {
    if (ctx.test == 1)
      linea_consola("Env_VORTCP-A : Fallo(send() failed with error %d)  -> rc(%d) .\n", codigo, -1);
    return -1;
  }
  if (ctx.test == 1) printf("Env_VORTCP: Final ilen(%d)\n", len);
  return len;
}

// Expands a compressed payload of L bytes in buf and puts the expanded bytes
// back in buf, converted when the session is in EBCDIC. The expansion is
// made in the session's receive pieces buffer, free once the frame is in.
// False, with buf as received, when the payload does not expand (the codec
// has said so).
static bool expande_respuesta(Sesion& s, char* buf, int L, int icompri, int ebcdic) {
  unsigned char* expandido = s.trozo;
  if (ctx.test >= 1) {
    printf("Recibe: [");
    for (int i = 0; i < L; i++) printf("%x.", (unsigned char)buf[i]);
    printf("]\n");
    printf("icompri=%d ilen=%d\n", icompri, L);
  }
  if (!expande_lzw((const unsigned char*)buf, icompri, L, expandido, TAM_TRAMA)) return false;
  int E = ifs_iin.salida;
  if (ctx.test >= 1) printf("ilen_aux=%d  ifs_iin=(%d,%d)\n", E, ifs_iin.entrada, E);
  if (ebcdic == 1) {
    if (ctx.test >= 1) printf("Obtiene: (%d) [", E - 10);
    for (int i = 0; i < E; i++) {
      buf[i] = (char)ebc_fija[expandido[i]];
      if (ctx.test >= 1) printf("%c", buf[i]);
    }
    buf[E] = '\0';
    if (ctx.test >= 1) printf("]\n");
  } else {
    memcpy(buf, expandido, (size_t)E);
    buf[E] = '\0';
  }
  return true;
}

int Rec_VORTCP_sql(Sesion& s, char* buf, int comprimido, int icompri, int64_t limite_ms) {
  memset(buf, ' ', 200);
  // The receive side follows WWW_EBCDIC as it is now, so the console's set
  // command changes it at once, while the send side keeps the session's value.
  int ebcdic = toma_env_entero("WWW_EBCDIC");
  const unsigned char* tabla = ebcdic == 1 ? ebc_fija : nullptr;
  ModoRecepcion modo{tabla, comprimido == 1 ? nullptr : tabla, true};
  int largo = 0, tomados = 0, codigo = 0;
  switch (recibe_trama(s, (unsigned char*)buf, modo, &largo, &tomados, &codigo, limite_ms)) {
    case FinRecepcion::a_destiempo:
      return RECEPCION_A_DESTIEMPO;
    case FinRecepcion::fallo_recv:
      if (ctx.test == 1)
        linea_consola("Rec_VORTCP : Fallo-A(recv() failed with error %d)  -> rc(%d).\n", codigo, -1);
      return -1;
    case FinRecepcion::cerrada:
      if (ctx.test == 1) linea_consola("Rec_VORTCP : Fallo-B(Connection closed by server)  -> rc(%d).\n", 0);
      return -1;
    case FinRecepcion::longitud_no_valida:
      if (ctx.test == 1) printf("Longitud de trama no valida (%d)\n", largo);
      return -1;
    case FinRecepcion::sin_respuesta:
      avisa_sin_respuesta();
      return -1;
    case FinRecepcion::tarea_fallida:
      return -1;
    case FinRecepcion::completa:
      break;
  }
  int L = largo - 10;
  if (ctx.test >= 1) {
    int visible = L > 200 ? L : 200;
    printf("Recibe: (%d) [%.*s]\n", ebcdic, visible, buf);
  }
  if (comprimido != 1) return L;
  if (icompri < 0 || icompri > L) icompri = L;
  if (!expande_respuesta(s, buf, L, icompri, ebcdic)) return RECEPCION_NO_EXPANDIDA;
  return L;
}

void establece_tarea_espera(TareaEspera tarea, void* dato) {
  tarea_espera = tarea;
  dato_espera = dato;
  ultima_tarea_ms = plat_reloj_ms();
}

void establece_limite_espera(int limite_s) {
  limite_espera_s = limite_s > 0 ? limite_s : 0;
}

int limite_espera() {
  return limite_espera_s;
}
