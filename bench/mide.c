/* Runs one command and reports its wall time, its peak resident set and its
 * CPU time: mide RESULT_FILE command [args...] writes
 * "seconds peak_rss_kb cpu_seconds exit_status" into RESULT_FILE.
 *
 * The runner is Python, and a child forked from it carries the interpreter's
 * resident set into the child's maximum (ru_maxrss keeps the high-water mark
 * of the image before exec). This launcher is small, so the maximum it reports
 * for its child is the command's own. */
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double ahora(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

int main(int argc, char **argv) {
  if (argc < 3) {
    fprintf(stderr, "uso: mide RESULTADO orden [argumentos...]\n");
    return 2;
  }
  FILE *res = fopen(argv[1], "w");
  if (!res) {
    perror(argv[1]);
    return 2;
  }
  double inicio = ahora();
  pid_t hijo = fork();
  if (hijo < 0) {
    perror("fork");
    return 2;
  }
  if (hijo == 0) {
    fclose(res);
    execvp(argv[2], argv + 2);
    perror(argv[2]);
    _exit(127);
  }
  int estado = 0;
  struct rusage uso;
  if (wait4(hijo, &estado, 0, &uso) < 0) {
    perror("wait4");
    return 2;
  }
  double fin = ahora();
  int salida = WIFEXITED(estado) ? WEXITSTATUS(estado) : 128 + WTERMSIG(estado);
  double cpu = (double)uso.ru_utime.tv_sec + (double)uso.ru_utime.tv_usec / 1e6 + (double)uso.ru_stime.tv_sec +
               (double)uso.ru_stime.tv_usec / 1e6;
  fprintf(res, "%.6f %ld %.6f %d\n", fin - inicio, uso.ru_maxrss, cpu, salida);
  return fclose(res) == 0 ? 0 : 2;
}
