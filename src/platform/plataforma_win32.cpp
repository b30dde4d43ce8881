// The Windows implementation of the platform layer (plataforma.h): Winsock 1.1
// (select and FIONREAD for the wait inside a frame, short selects for a
// receive with a time limit, the acknowledgement frequency of a socket), the
// console's control handler for interruptions, _mkdir, backslash paths from
// the root of the current drive, text-mode files (CR LF), MoveFileEx for the
// atomic replace, _putenv, RtlGenRandom, and CharToOemA/OemToCharA for the
// ANSI/OEM tables of the test dumps.
// winsock2.h must come before windows.h, which would bring in the old winsock.h.
// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <malloc.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "platform/plataforma.h"
#include "platform/plataforma_interna.h"

int plat_inicia_red() {
  WSADATA datos;
  return WSAStartup(MAKEWORD(1, 1), &datos);
}

socket_t plat_crea_socket() {
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  return s == INVALID_SOCKET ? SOCKET_INVALIDO : (socket_t)s;
}

int plat_error_red() {
  return WSAGetLastError();
}

bool plat_error_es_bloqueo(int codigo) {
  return codigo == WSAEWOULDBLOCK;
}

bool plat_direccion_punteada(const char* nombre, uint32_t* direccion) {
  unsigned long a = inet_addr(nombre);
  // inet_addr answers INADDR_NONE for a text that is not an address, and for
  // 255.255.255.255, which is no server either.
  if (a == INADDR_NONE) return false;
  *direccion = (uint32_t)a;
  return true;
}

bool plat_busca_host(const char* nombre, uint32_t* direccion) {
  // gethostbyname("") answers with this machine's own address; an empty
  // server name is no server, as on POSIX.
  if (nombre[0] == '\0') return false;
  struct hostent* h = gethostbyname(nombre);
  if (h == nullptr || h->h_addrtype != AF_INET || h->h_addr_list[0] == nullptr) return false;
  memcpy(direccion, h->h_addr_list[0], 4);
  return true;
}

// Not every MinGW header names it: _WSAIOW(IOC_VENDOR, 23).
#ifndef SIO_TCP_SET_ACK_FREQUENCY
#define SIO_TCP_SET_ACK_FREQUENCY _WSAIOW(IOC_VENDOR, 23)
#endif

int plat_conecta(socket_t s, uint32_t direccion, int puerto) {
  struct sockaddr_in destino;
  memset(&destino, 0, sizeof destino);
  destino.sin_family = AF_INET;
  destino.sin_port = htons((u_short)(puerto & 0xFFFF));
  destino.sin_addr.s_addr = direccion;
  if (connect((SOCKET)s, (struct sockaddr*)&destino, sizeof destino) == SOCKET_ERROR) return -1;
  // Every segment acknowledged at once, for the life of the socket: a frame
  // written in small pieces does not wait for the delayed acknowledgement of
  // each one (plat_acusa_recibo). A stack that does not know the request
  // keeps its own timer; the connection works the same.
  DWORD frecuencia = 1, devueltos = 0;
  WSAIoctl((SOCKET)s, SIO_TCP_SET_ACK_FREQUENCY, &frecuencia, sizeof frecuencia, nullptr, 0, &devueltos,
           nullptr, nullptr);
  return 0;
}

// The first interruption recorded by the console handler (which runs in a
// thread of its own); 0 while there is none.
static volatile LONG senal_recibida = 0;

static BOOL WINAPI registra_evento(DWORD evento) {
  LONG numero = evento == CTRL_C_EVENT ? 2 : 15;
  InterlockedCompareExchange(&senal_recibida, numero, 0);
  // Handled: the process is not ended by the system. A close event ends it
  // anyway once the handler returns, so give the main thread time to finish.
  if (evento == CTRL_CLOSE_EVENT) Sleep(5000);
  return TRUE;
}

void plat_vigila_interrupciones() {
  SetConsoleCtrlHandler(registra_evento, TRUE);
}

// The console's handler runs in a thread of its own: no other thread is
// ever interrupted by it.
void plat_hilo_sin_interrupciones() {}

int plat_interrupcion() {
  return (int)senal_recibida;
}

void plat_olvida_interrupcion() {
  InterlockedExchange(&senal_recibida, 0);
}

void plat_registra_salida_cerrada() {
  InterlockedCompareExchange(&senal_recibida, SALIDA_CERRADA, 0);
}

// A write onto a pipe fails only when its reader has gone.
bool plat_salida_sin_lector(FILE* f) {
  intptr_t manejador = _get_osfhandle(_fileno(f));
  return manejador != -1 && GetFileType((HANDLE)manejador) == FILE_TYPE_PIPE;
}

// Windows has no SIGPIPE: a write to a closed pipe only fails.
void plat_inicia_proceso() {}

long plat_envia(socket_t s, const void* datos, size_t n) {
  if (destino_prueba != nullptr) return destino_prueba(s, datos, n);
  const char* p = (const char*)datos;
  size_t hecho = 0;
  while (hecho < n) {
    if (senal_recibida != 0) return -1;
    int r = send((SOCKET)s, p + hecho, (int)(n - hecho), 0);
    if (r == SOCKET_ERROR) {
      if (WSAGetLastError() == WSAEINTR) continue;
      return -1;
    }
    hecho += (size_t)r;
  }
  return (long)n;
}

// Whether the socket is readable (data, a close or an error) within ms.
static bool legible(SOCKET s, long ms) {
  fd_set conjunto;
  FD_ZERO(&conjunto);
  FD_SET(s, &conjunto);
  struct timeval t;
  t.tv_sec = ms / 1000;
  t.tv_usec = (ms % 1000) * 1000;
  return select(0, &conjunto, nullptr, nullptr, &t) != 0;
}

// The receive of both plat_recibe and plat_recibe_con_plazo. A blocking recv
// cannot be woken by the console handler: it waits in short selects, so that
// an interruption is seen within a tenth of a second. With a limit (limite
// above 0, on the clock of plat_reloj_ms) nothing by then is PLAT_SIN_DATOS;
// without one it waits as long as the server takes.
static long recibe_hasta(SOCKET s, void* destino, size_t n, int64_t limite) {
  for (;;) {
    if (senal_recibida != 0) return -1;
    long paso = 100;
    if (limite > 0) {
      int64_t queda = limite - plat_reloj_ms();
      if (queda <= 0) return PLAT_SIN_DATOS;
      if (queda < paso) paso = (long)queda;
    }
    if (!legible(s, paso)) continue;
    if (senal_recibida != 0) return -1;
    int r = recv(s, (char*)destino, (int)n, 0);
    if (r == SOCKET_ERROR && WSAGetLastError() == WSAEINTR) continue;
    return r == SOCKET_ERROR ? -1 : (long)r;
  }
}

long plat_recibe(socket_t s, void* destino, size_t n) {
  if (fuente_prueba != nullptr) return fuente_prueba(s, destino, n);
  return recibe_hasta((SOCKET)s, destino, n, 0);
}

long plat_recibe_con_plazo(socket_t s, void* destino, size_t n, int max_ms, int*) {
  if (fuente_prueba != nullptr) return fuente_prueba(s, destino, n);
  return recibe_hasta((SOCKET)s, destino, n, plat_reloj_ms() + (max_ms < 1 ? 1 : max_ms));
}

// The socket acknowledges every segment already (plat_conecta).
void plat_acusa_recibo(socket_t) {}

// The short selects of plat_recibe see the socket readable at once, and its
// recv then gives 0 or a failure.
void plat_corta_socket(socket_t s) {
  if (s != SOCKET_INVALIDO) shutdown((SOCKET)s, SD_BOTH);
}

void plat_cierra_socket(socket_t s) {
  if (s != SOCKET_INVALIDO) closesocket((SOCKET)s);
}

int64_t plat_reloj_ms() {
  return (int64_t)GetTickCount64();
}

// Winsock has no receive low-water mark in select: the wait checks the count
// with FIONREAD, sleeps in select while nothing is there, and takes 1 ms
// naps while part of it is.
void plat_espera_datos(socket_t s, size_t faltan, int max_ms) {
  if (!pausa_activa || fuente_prueba != nullptr || faltan == 0) return;
  int64_t limite = plat_reloj_ms() + max_ms;
  for (;;) {
    u_long hay = 0;
    if (ioctlsocket((SOCKET)s, FIONREAD, &hay) != 0 || hay >= faltan || senal_recibida != 0) return;
    int64_t queda = limite - plat_reloj_ms();
    if (queda <= 0) return;
    if (hay > 0) {
      Sleep(1);
      continue;
    }
    if (legible((SOCKET)s, (long)queda)) {
      // Readable with nothing to read: the peer closed or the connection
      // failed.
      if (ioctlsocket((SOCKET)s, FIONREAD, &hay) != 0 || hay == 0) return;
    }
  }
}

// RtlGenRandom, exported by advapi32 as SystemFunction036 (what rand_s
// calls); declared here so that no other header is needed.
extern "C" BOOLEAN NTAPI SystemFunction036(PVOID destino, ULONG n);

bool plat_aleatorio(void* destino, size_t n) {
  unsigned char* p = (unsigned char*)destino;
  while (n > 0) {
    ULONG k = n > 0x10000 ? 0x10000 : (ULONG)n;
    if (!SystemFunction036(p, k)) return false;
    p += k;
    n -= k;
  }
  return true;
}

FechaHora plat_fecha_hora_local() {
  time_t ahora = time(nullptr);
  struct tm t;
  if (localtime_s(&t, &ahora) != 0) memset(&t, 0, sizeof t);
  return FechaHora{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

FechaHora plat_fecha_hora_utc() {
  SYSTEMTIME t;
  GetSystemTime(&t);
  return FechaHora{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

// The program's own path formats are Windows paths already: a leading
// backslash is the root of the current drive.
void ajusta_ruta_local(char*) {}

bool plat_crea_directorio(const char* ruta) {
  if (_mkdir(ruta) == 0) return true;
  // Whatever the error says (EEXIST, or EACCES from Wine for a folder that
  // is there), a directory at the path is what was asked for.
  int codigo = errno;
  DWORD atributos = GetFileAttributesA(ruta);
  if (atributos != INVALID_FILE_ATTRIBUTES && (atributos & FILE_ATTRIBUTE_DIRECTORY) != 0) return true;
  errno = codigo == EEXIST ? ENOTDIR : codigo;
  return false;
}

// CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 name devices in any directory
// and with any extension: "\LIB1\SRC\CON.txt" is the console. A member of that
// name would send its data to the device and report it as written.
static bool es_dispositivo(const char* componente, size_t largo) {
  size_t n = 0;
  while (n < largo && componente[n] != '.') n++;
  while (n > 0 && componente[n - 1] == ' ') n--;
  char nombre[5] = {0};
  if (n < 3 || n > 4) return false;
  for (size_t i = 0; i < n; i++) {
    char c = componente[i];
    nombre[i] = (char)(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
  if (n == 3) {
    return strcmp(nombre, "CON") == 0 || strcmp(nombre, "PRN") == 0 || strcmp(nombre, "AUX") == 0 ||
           strcmp(nombre, "NUL") == 0;
  }
  return (strncmp(nombre, "COM", 3) == 0 || strncmp(nombre, "LPT", 3) == 0) && nombre[3] >= '1' &&
         nombre[3] <= '9';
}

static bool ruta_con_dispositivo(const char* ruta) {
  const char* p = ruta;
  while (*p) {
    const char* fin = p;
    while (*fin && *fin != '\\' && *fin != '/') fin++;
    if (es_dispositivo(p, (size_t)(fin - p))) return true;
    p = *fin ? fin + 1 : fin;
  }
  return false;
}

// Opens a file for the program's data; a write to a device name fails with
// EINVAL instead (the caller reports the file as one that cannot be opened).
static FILE* abre(const char* ruta, const char* modo) {
  if (strpbrk(modo, "wa") != nullptr && ruta_con_dispositivo(ruta)) {
    errno = EINVAL;
    return nullptr;
  }
  return fopen(ruta, modo);
}

FILE* plat_abre_texto(const char* ruta, const char* modo) {
  return abre(ruta, modo);
}

void plat_devuelve_memoria() {
  _heapmin();
}

bool plat_ruta_con_enlace(const char* ruta) {
  char parte[MAX_PATH + 1];
  size_t n = strlen(ruta);
  if (n >= sizeof parte) return true;  // not looked at whole: not trusted
  for (size_t i = 1; i <= n; i++) {
    if (i < n && ruta[i] != '\\' && ruta[i] != '/') continue;
    memcpy(parte, ruta, i);
    parte[i] = '\0';
    // "C:" alone is the drive's current folder, no step of the path.
    if (i == 2 && parte[1] == ':') continue;
    DWORD atributos = GetFileAttributesA(parte);
    if (atributos != INVALID_FILE_ATTRIBUTES && (atributos & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return true;
  }
  return false;
}

bool plat_es_fichero(const char* ruta) {
  // A device name (CON, NUL...) is no file of the tree, whatever it answers.
  if (ruta_con_dispositivo(ruta)) return false;
  DWORD atributos = GetFileAttributesA(ruta);
  return atributos != INVALID_FILE_ATTRIBUTES && (atributos & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

FILE* plat_abre_lectura_regular(const char* ruta) {
  DWORD atributos = GetFileAttributesA(ruta);
  if (atributos != INVALID_FILE_ATTRIBUTES && (atributos & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    errno = EISDIR;
    return nullptr;
  }
  if (ruta_con_dispositivo(ruta)) {
    errno = EINVAL;
    return nullptr;
  }
  FILE* f = fopen(ruta, "r");
  if (f == nullptr) return nullptr;
  // A pipe or a character device opens like a file: only a disk file is one.
  if (GetFileType((HANDLE)_get_osfhandle(_fileno(f))) != FILE_TYPE_DISK) {
    fclose(f);
    errno = EINVAL;
    return nullptr;
  }
  return f;
}

FILE* plat_abre_binario(const char* ruta, const char* modo) {
  char m[8];
  snprintf(m, sizeof m, "%sb", modo);
  return abre(ruta, m);
}

FILE* plat_crea_nuevo(const char* ruta, bool binario) {
  if (ruta_con_dispositivo(ruta)) {
    errno = EINVAL;
    return nullptr;
  }
  int banderas = _O_WRONLY | _O_CREAT | _O_EXCL | (binario ? _O_BINARY : _O_TEXT);
  int fd = _open(ruta, banderas, _S_IREAD | _S_IWRITE);
  // Only when something is at the path is it removed, never opened.
  if (fd < 0 && errno == EEXIST) {
    if (_unlink(ruta) != 0) return nullptr;
    fd = _open(ruta, banderas, _S_IREAD | _S_IWRITE);
  }
  if (fd < 0) return nullptr;
  FILE* f = _fdopen(fd, binario ? "wb" : "w");
  if (f == nullptr) _close(fd);
  return f;
}

// The file time of a local date and time; false when it is not a valid one.
static bool tiempo_local(const FechaHora& f, FILETIME* escritura) {
  SYSTEMTIME local;
  memset(&local, 0, sizeof local);
  local.wYear = (WORD)f.anio;
  local.wMonth = (WORD)f.mes;
  local.wDay = (WORD)f.dia;
  local.wHour = (WORD)f.hora;
  local.wMinute = (WORD)f.minuto;
  local.wSecond = (WORD)f.segundo;
  // SystemTimeToFileTime refuses a day that does not exist; the conversion
  // to UTC follows the time zone's rules for that date.
  FILETIME comprobado;
  if (f.anio < 1601 || f.anio > 30827 || !SystemTimeToFileTime(&local, &comprobado)) return false;
  SYSTEMTIME utc;
  return TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) && SystemTimeToFileTime(&utc, escritura);
}

bool plat_pon_fecha_abierto(FILE* fichero, const FechaHora& f) {
  FILETIME escritura;
  if (!tiempo_local(f, &escritura) || fflush(fichero) != 0) return false;
  HANDLE h = (HANDLE)_get_osfhandle(_fileno(fichero));
  return h != INVALID_HANDLE_VALUE && SetFileTime(h, nullptr, nullptr, &escritura) != 0;
}

bool plat_tiene_fecha(const char* ruta, const FechaHora& f) {
  if (ruta_con_dispositivo(ruta)) return false;
  WIN32_FILE_ATTRIBUTE_DATA datos;
  if (!GetFileAttributesExA(ruta, GetFileExInfoStandard, &datos) ||
      (datos.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return false;
  // The inverse of what plat_pon_fecha_abierto sets: UTC to the local time
  // of that date's rules, compared field by field.
  SYSTEMTIME utc, local;
  if (FileTimeToSystemTime(&datos.ftLastWriteTime, &utc) &&
      SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
    FechaHora tiene{local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
    if (segundos_entre(tiene, f) <= 2) return true;
  }
  FILETIME puesta;
  return !tiempo_local(f, &puesta);
}

// The lock files this process holds, by volume and file index: asking again
// for one of them is asking for what the process has.
struct Tomado {
  DWORD volumen, alto, bajo;
};
static Tomado bloqueos_tomados[64];
static int num_bloqueos = 0;

// Opens the lock file, never through a link: a link (a reparse point) at the
// path is removed first, and the open itself does not follow one
// (FILE_FLAG_OPEN_REPARSE_POINT), so that one planted in between is opened
// as itself and refused. Only a disk file that is no directory and no link
// is taken; INVALID_HANDLE_VALUE otherwise.
static HANDLE abre_bloqueo(const char* ruta, BY_HANDLE_FILE_INFORMATION* info) {
  DWORD atributos = GetFileAttributesA(ruta);
  if (atributos != INVALID_FILE_ATTRIBUTES && (atributos & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    if ((atributos & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      RemoveDirectoryA(ruta);
    } else {
      DeleteFileA(ruta);
    }
  }
  if (ruta_con_dispositivo(ruta)) return INVALID_HANDLE_VALUE;
  HANDLE h = CreateFileA(ruta, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return h;
  bool fichero = GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, info) != 0 &&
                 (info->dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
  if (fichero) return h;
  CloseHandle(h);
  return INVALID_HANDLE_VALUE;
}

Bloqueo plat_bloquea(const char* ruta, int max_ms) {
  BY_HANDLE_FILE_INFORMATION info;
  HANDLE h = abre_bloqueo(ruta, &info);
  if (h == INVALID_HANDLE_VALUE) return Bloqueo::fallo;
  for (int i = 0; i < num_bloqueos; i++) {
    if (bloqueos_tomados[i].volumen == info.dwVolumeSerialNumber &&
        bloqueos_tomados[i].alto == info.nFileIndexHigh && bloqueos_tomados[i].bajo == info.nFileIndexLow) {
      CloseHandle(h);
      return Bloqueo::tomado;
    }
  }
  int64_t limite = plat_reloj_ms() + max_ms;
  for (;;) {
    OVERLAPPED desde;
    memset(&desde, 0, sizeof desde);
    // The handle stays open for the rest of the process: the lock with it.
    if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &desde)) {
      if (num_bloqueos < 64) {
        bloqueos_tomados[num_bloqueos++] =
            Tomado{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
      }
      return Bloqueo::tomado;
    }
    if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING) break;
    if (plat_interrupcion() != 0) {
      CloseHandle(h);
      return Bloqueo::interrumpido;
    }
    if (plat_reloj_ms() >= limite) {
      CloseHandle(h);
      return Bloqueo::ocupado;
    }
    Sleep(50);
  }
  CloseHandle(h);
  return Bloqueo::fallo;
}

// Text-mode reads already drop the CR of a CR LF.
size_t plat_lee_texto(FILE* f, char* destino, size_t n) {
  return fread(destino, 1, n, f);
}

char* plat_lee_linea(char* destino, int capacidad, FILE* f) {
  return fgets(destino, capacidad, f);
}

size_t plat_lee_trozo(char* destino, size_t capacidad, FILE* f) {
  if (capacidad == 0) return 0;
  size_t n = 0;
  while (n + 1 < capacidad) {
    int c = getc(f);
    if (c == EOF) break;
    destino[n++] = (char)c;
    if (c == '\n') break;
  }
  destino[n] = '\0';
  return n;
}

// _isatty also answers true for the NUL device, which shows nothing anyway.
bool plat_es_terminal(FILE* f) {
  return _isatty(_fileno(f)) != 0;
}

// MoveFileEx reports through GetLastError, but the callers describe a failure
// with errno (plat_errno, plat_describe_error), as for every other file call.
static int errno_de_win32(DWORD codigo) {
  switch (codigo) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
      return EINVAL;
    default:
      return EIO;
  }
}

bool plat_reemplaza_fichero(const char* origen, const char* destino) {
  if (MoveFileExA(origen, destino, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) return true;
  errno = errno_de_win32(GetLastError());
  return false;
}

void plat_borra_fichero(const char* ruta) {
  (void)_unlink(ruta);
}

const char* plat_variable_idioma() {
  return "LANG";
}

bool plat_lang_es_regional() {
  return false;
}

// Windows matches variable names without regard to case, and "NAME=" removes
// the variable, so the text goes to _putenv as typed.
void plat_putenv(const char* texto) {
  (void)_putenv(texto);
}

static int ansi_a_oem(unsigned char c) {
  char entrada[1] = {(char)c};
  char salida[1] = {0};
  if (!CharToOemBuffA(entrada, salida, 1)) return -1;
  return (unsigned char)salida[0];
}

static int oem_a_ansi(unsigned char c) {
  char entrada[1] = {(char)c};
  char salida[1] = {0};
  if (!OemToCharBuffA(entrada, salida, 1)) return -1;
  return (unsigned char)salida[0];
}

// Both calls give a best-fit character (often '?') where the other code page
// has no counterpart; only a conversion that comes back to the same byte is
// exact, as the POSIX layer's iconv conversion is.
int plat_ansi_a_oem(unsigned char c) {
  int oem = ansi_a_oem(c);
  return oem >= 0 && oem_a_ansi((unsigned char)oem) == c ? oem : -1;
}

int plat_oem_a_ansi(unsigned char c) {
  int ansi = oem_a_ansi(c);
  return ansi >= 0 && ansi_a_oem((unsigned char)ansi) == c ? ansi : -1;
}

size_t plat_cp1252_a_utf8(const char* origen, size_t n, char* destino) {
  // By pieces that fit a buffer of wide characters: MultiByteToWideChar maps
  // the five empty bytes of 1252 to the control characters of their value.
  size_t escritos = 0;
  wchar_t anchos[4096];
  for (size_t desde = 0; desde < n;) {
    int k = (int)(n - desde < 4096 ? n - desde : 4096);
    int w = MultiByteToWideChar(1252, 0, origen + desde, k, anchos, 4096);
    int u =
        w > 0 ? WideCharToMultiByte(CP_UTF8, 0, anchos, w, destino + escritos, (int)(3 * k), nullptr, nullptr)
              : 0;
    escritos += (size_t)(u > 0 ? u : 0);
    desde += (size_t)k;
  }
  return escritos;
}

long plat_utf8_a_cp1252(const char* origen, size_t n, char* destino) {
  if (n == 0) return 0;
  int w = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, origen, (int)n, nullptr, 0);
  if (w <= 0) return -1;
  wchar_t* anchos = new (std::nothrow) wchar_t[(size_t)w];
  if (anchos == nullptr) return -1;
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, origen, (int)n, anchos, w);
  BOOL sustituido = FALSE;
  int k = WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, anchos, w, destino, (int)n, nullptr, &sustituido);
  delete[] anchos;
  return k <= 0 || sustituido ? -1 : (long)k;
}
