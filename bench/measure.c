/* Runs two programs alternately (A B A B ...) in a folder and reports, for
 * each, the median wall time and peak resident memory, and the median of the
 * per-pair time ratios A/B. The first pairs are a warm-up and are discarded.
 * Written in C so that the measuring process itself is small: a child's peak
 * memory counts what it held before it became the program measured.
 *
 * Usage: measure FOLDER PAIRS WARMUP A_PATH B_PATH */

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static int byValue(const void *a, const void *b)
{
    double x = *(const double *)a, y = *(const double *)b;
    return (x > y) - (x < y);
}

static double median(double *values, int count)
{
    qsort(values, count, sizeof *values, byValue);
    return count % 2 ? values[count / 2] : (values[count / 2 - 1] + values[count / 2]) / 2;
}

/* Runs `program` to its end in `folder`; stores seconds and peak memory in KiB. */
static void run(const char *folder, const char *program, double *seconds, double *peakKiB)
{
    struct timespec start, end;
    struct rusage usage;
    int status;
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t pid = fork();
    if (pid == 0) {
        int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(devnull, 2);
        if (chdir(folder) == 0)
            execl(program, program, (char *)NULL);
        _exit(127);
    }
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) {
        perror("measure");
        exit(2);
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 1) {
        fprintf(stderr, "measure: %s ended with status %d, expected exit status 1\n", program, status);
        exit(2);
    }
    *seconds = (end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) / 1e9;
    *peakKiB = usage.ru_maxrss;
}

int main(int argc, char **argv)
{
    if (argc != 6) {
        fprintf(stderr, "usage: measure FOLDER PAIRS WARMUP A_PATH B_PATH\n");
        return 2;
    }
    const char *folder = argv[1], *programs[2] = {argv[4], argv[5]}, *names[2] = {"launcher", "floor"};
    int pairs = atoi(argv[2]), warmup = atoi(argv[3]);
    double *times[2], *memory[2], *ratios = calloc(pairs, sizeof(double)), peak[2] = {0, 0};
    for (int p = 0; p < 2; ++p) {
        times[p] = calloc(pairs, sizeof(double));
        memory[p] = calloc(pairs, sizeof(double));
    }
    for (int i = 0; i < warmup + pairs; ++i) {
        double seconds[2], kib[2];
        for (int p = 0; p < 2; ++p)
            run(folder, programs[p], &seconds[p], &kib[p]);
        if (i < warmup)
            continue;
        for (int p = 0; p < 2; ++p) {
            times[p][i - warmup] = seconds[p];
            memory[p][i - warmup] = kib[p];
            if (kib[p] > peak[p])
                peak[p] = kib[p];
        }
        ratios[i - warmup] = seconds[0] / seconds[1];
    }
    for (int p = 0; p < 2; ++p)
        printf("  %-8s  median %8.2f ms   peak memory median %5.1f MiB, max %5.1f MiB\n", names[p],
               median(times[p], pairs) * 1000, median(memory[p], pairs) / 1024, peak[p] / 1024);
    printf("  ratio     median of per-pair time ratios launcher/floor: %.2fx over %d pairs\n", median(ratios, pairs), pairs);
    return 0;
}
