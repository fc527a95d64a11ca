/* proctime: wall-clock time of whole processes, side by side.
 *
 *   proctime [-n runs] [-w warm-ups] LABEL PROGRAM INPUT [LABEL PROGRAM INPUT ...]
 *
 * Each PROGRAM is started with no arguments, INPUT as standard input ("-"
 * for /dev/null) and standard output and error sent to /dev/null.  One round
 * starts every program once, in the order given, and rounds repeat, so that
 * a change in the machine's load falls on all programs alike.  The time of
 * one run is taken with clock_gettime(CLOCK_MONOTONIC) from just before the
 * spawn to the return of waitpid, so it holds the whole life of the process:
 * exec, the dynamic loader, start-up, the work and exit.  Warm-up rounds are
 * run first and not counted.
 *
 * Output: one line per program, "LABEL median q1 q3 min" in milliseconds.
 * A run that does not end with status 0 stops the tool with status 1.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char **environ;

struct job {
  const char *label;
  const char *program;
  const char *input;
  double *ms;
};

static double now_ms(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec * 1e3 + (double)t.tv_nsec / 1e6;
}

static int cmp_double(const void *a, const void *b) {
  const double x = *(const double *)a, y = *(const double *)b;
  return (x > y) - (x < y);
}

/* Runs the job once and returns its elapsed time in milliseconds. */
static double run_once(const struct job *j) {
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  const char *in = strcmp(j->input, "-") == 0 ? "/dev/null" : j->input;
  posix_spawn_file_actions_addopen(&fa, 0, in, O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  char *argv[] = {(char *)j->program, NULL};
  pid_t pid;
  const double t0 = now_ms();
  const int rc = posix_spawn(&pid, j->program, &fa, NULL, argv, environ);
  if (rc != 0) {
    fprintf(stderr, "proctime: cannot start %s: %s\n", j->program, strerror(rc));
    exit(1);
  }
  int status;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      perror("proctime: waitpid");
      exit(1);
    }
  }
  const double t1 = now_ms();
  posix_spawn_file_actions_destroy(&fa);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fprintf(stderr, "proctime: %s < %s did not end with status 0\n", j->program, in);
    exit(1);
  }
  return t1 - t0;
}

static double quantile(const double *sorted, int n, double q) {
  const double pos = q * (n - 1);
  const int lo = (int)pos;
  const int hi = lo + 1 < n ? lo + 1 : lo;
  return sorted[lo] + (pos - lo) * (sorted[hi] - sorted[lo]);
}

int main(int argc, char **argv) {
  int runs = 100, warm = 5, opt;
  while ((opt = getopt(argc, argv, "n:w:")) != -1) {
    if (opt == 'n') runs = atoi(optarg);
    else if (opt == 'w') warm = atoi(optarg);
    else return 2;
  }
  const int njobs = (argc - optind) / 3;
  if (runs < 1 || warm < 0 || njobs < 1 || (argc - optind) % 3 != 0) {
    fprintf(stderr, "usage: proctime [-n runs] [-w warm-ups] LABEL PROGRAM INPUT ...\n");
    return 2;
  }
  struct job *jobs = calloc((size_t)njobs, sizeof *jobs);
  for (int k = 0; k < njobs; ++k) {
    jobs[k].label = argv[optind + 3 * k];
    jobs[k].program = argv[optind + 3 * k + 1];
    jobs[k].input = argv[optind + 3 * k + 2];
    jobs[k].ms = calloc((size_t)runs, sizeof(double));
  }
  for (int r = 0; r < warm; ++r)
    for (int k = 0; k < njobs; ++k) run_once(&jobs[k]);
  for (int r = 0; r < runs; ++r)
    for (int k = 0; k < njobs; ++k) jobs[k].ms[r] = run_once(&jobs[k]);
  for (int k = 0; k < njobs; ++k) {
    qsort(jobs[k].ms, (size_t)runs, sizeof(double), cmp_double);
    printf("%s %.4f %.4f %.4f %.4f\n", jobs[k].label, quantile(jobs[k].ms, runs, 0.5),
           quantile(jobs[k].ms, runs, 0.25), quantile(jobs[k].ms, runs, 0.75), jobs[k].ms[0]);
  }
  return 0;
}
