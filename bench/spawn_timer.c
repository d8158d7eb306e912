/* Times whole runs of two commands, alternating them so that both see the
 * same machine: spawn, wait, and take the wall time of each run.
 *
 *   spawn_timer RUNS -- COMMAND_A... -- COMMAND_B...
 *
 * Prints one line per command: the run times in nanoseconds, sorted. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

static long long runOnce(char** argv, posix_spawn_file_actions_t* actions) {
  struct timespec start, end;
  pid_t pid;
  int status;
  clock_gettime(CLOCK_MONOTONIC, &start);
  if (posix_spawn(&pid, argv[0], actions, NULL, argv, environ) != 0) exit(2);
  if (waitpid(pid, &status, 0) < 0) exit(2);
  clock_gettime(CLOCK_MONOTONIC, &end);
  return (end.tv_sec - start.tv_sec) * 1000000000LL + (end.tv_nsec - start.tv_nsec);
}

static int compare(const void* a, const void* b) {
  const long long x = *(const long long*)a, y = *(const long long*)b;
  return (x > y) - (x < y);
}

int main(int argc, char** argv) {
  if (argc < 6 || strcmp(argv[2], "--") != 0) return 2;
  const int runs = atoi(argv[1]);
  char** a = argv + 3;
  int split = 3;
  while (split < argc && strcmp(argv[split], "--") != 0) ++split;
  if (split >= argc - 1 || runs <= 0) return 2;
  argv[split] = NULL;
  char** b = argv + split + 1;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);

  long long* timesA = calloc((size_t)runs, sizeof *timesA);
  long long* timesB = calloc((size_t)runs, sizeof *timesB);
  if (timesA == NULL || timesB == NULL) return 2;
  for (int i = 0; i < runs; ++i) {
    /* Alternate which goes first, so neither always follows the other. */
    if (i % 2 == 0) {
      timesA[i] = runOnce(a, &actions);
      timesB[i] = runOnce(b, &actions);
    } else {
      timesB[i] = runOnce(b, &actions);
      timesA[i] = runOnce(a, &actions);
    }
  }
  qsort(timesA, (size_t)runs, sizeof *timesA, compare);
  qsort(timesB, (size_t)runs, sizeof *timesB, compare);
  for (int i = 0; i < runs; ++i) printf("%lld%c", timesA[i], i + 1 < runs ? ' ' : '\n');
  for (int i = 0; i < runs; ++i) printf("%lld%c", timesB[i], i + 1 < runs ? ' ' : '\n');
  free(timesA);
  free(timesB);
  posix_spawn_file_actions_destroy(&actions);
  return 0;
}
