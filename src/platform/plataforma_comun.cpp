// The part of the platform layer (plataforma.h) that is the same on POSIX and
// on Windows: the test seams, the path builder (each platform then turns the
// program's path into one of its own), the checked close of
// a written file, and the runtime library's error and environment calls.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/plataforma_interna.h"

FuenteRecepcion fuente_prueba = nullptr;
DestinoEnvio destino_prueba = nullptr;
bool pausa_activa = true;

void plat_establece_red_prueba(FuenteRecepcion fuente, DestinoEnvio destino) {
  fuente_prueba = fuente;
  destino_prueba = destino;
}

void plat_establece_pausa_prueba(bool activa) {
  pausa_activa = activa;
}

bool plat_ruta_v(char* destino, size_t capacidad, const char* formato, va_list args) {
  if (capacidad == 0) return false;
  int n = vsnprintf(destino, capacidad, formato, args);
  if (n < 0 || (size_t)n >= capacidad) {
    destino[0] = '\0';
    return false;
  }
  ajusta_ruta_local(destino);
  return true;
}

bool plat_ruta(char* destino, size_t capacidad, const char* formato, ...) {
  va_list args;
  va_start(args, formato);
  bool ok = plat_ruta_v(destino, capacidad, formato, args);
  va_end(args);
  return ok;
}

// The explicit flush matters under Wine, whose fclose drops the error of the
// flush it does itself (a full disk then looks like a good close).
bool plat_cierra_escrito(FILE* f) {
  bool bien = fflush(f) == 0 && ferror(f) == 0;
  return fclose(f) == 0 && bien;
}

int plat_errno() {
  return errno;
}

namespace {

// strerror_r comes in two forms: the GNU one returns the text (its own or
// the buffer), the POSIX one fills the buffer and returns 0 or an error.
[[maybe_unused]] const char* texto_de_error(const char* texto, char*, size_t, int) {
  return texto;
}
[[maybe_unused]] const char* texto_de_error(int rc, char* buffer, size_t cap, int codigo) {
  if (rc != 0) snprintf(buffer, cap, "Unknown error %d", codigo);
  return buffer;
}

}  // namespace

// Several session threads may describe an error at once: strerror shares one
// buffer on POSIX, so each thread has a buffer of its own. The Windows
// runtime's strerror already keeps its text per thread.
const char* plat_describe_error() {
#ifdef _WIN32
  return strerror(errno);
#else
  thread_local char texto[256];
  int codigo = errno;
  const char* r = texto_de_error(strerror_r(codigo, texto, sizeof texto), texto, sizeof texto, codigo);
  errno = codigo;
  return r;
#endif
}

const char* plat_getenv(const char* nombre) {
  return getenv(nombre);
}

void tm_de_fecha(const FechaHora& f, struct tm* t) {
  memset(t, 0, sizeof *t);
  t->tm_year = f.anio - 1900;
  t->tm_mon = f.mes - 1;
  t->tm_mday = f.dia;
  t->tm_hour = f.hora;
  t->tm_min = f.minuto;
  t->tm_sec = f.segundo;
  t->tm_isdst = -1;
}

bool plat_formatea_fecha(char* dest, size_t cap, const char* formato, const FechaHora& f) {
  struct tm t;
  tm_de_fecha(f, &t);
  if (cap == 0) return false;
  dest[0] = '\0';
  // An empty result is a format with no room or no fields: told apart by
  // the format itself.
  // The format is the user's setting (VORTCP_INFORME), the point of the call.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  size_t n = strftime(dest, cap, formato, &t);
#pragma GCC diagnostic pop
  return n > 0 || formato[0] == '\0';
}

namespace {

// Days from 1970-01-01 to the date, in the proleptic Gregorian calendar.
long long dias_civiles(long long anio, unsigned mes, unsigned dia) {
  anio -= mes <= 2;
  long long era = (anio >= 0 ? anio : anio - 399) / 400;
  unsigned yoe = (unsigned)(anio - era * 400);
  unsigned doy = (153 * (mes + (mes > 2 ? -3 : 9)) + 2) / 5 + dia - 1;
  unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + (long long)doe - 719468;
}

long long segundos_de(const FechaHora& f) {
  return dias_civiles(f.anio, (unsigned)f.mes, (unsigned)f.dia) * 86400LL + f.hora * 3600LL +
         f.minuto * 60LL + f.segundo;
}

}  // namespace

long long segundos_entre(const FechaHora& a, const FechaHora& b) {
  long long d = segundos_de(a) - segundos_de(b);
  return d < 0 ? -d : d;
}
