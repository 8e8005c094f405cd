"""Driver of bench/memory/run.sh: the updater's peak memory during one whole
silent attempt (bench/attempt's, run through its own code) with 15 changed
modules of 16 MiB and with 15 of 128 MiB. The peaks should not grow with the
modules' size: nothing holds a whole file.

    measure.py [--json FILE]"""
import importlib.util
import os
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "lib"))
import benchlib  # noqa: E402

ROUNDS = int(os.environ.get("MEMORY_BENCH_ROUNDS", "2"))
SIZES_MIB = (16, 128)
WORK = os.path.join(benchlib.BUILD, "bench", "memory")


def attempt_bench(size_mib):
    """bench/attempt/measure.py as a module, pointed at modules of `size_mib`
    in a folder of its own."""
    module_file = importlib.util.spec_from_file_location(
        "attempt_%d" % size_mib, os.path.join(HERE, "..", "attempt", "measure.py"))
    bench = importlib.util.module_from_spec(module_file)
    module_file.loader.exec_module(bench)
    bench.SIZE = size_mib << 20
    bench.WORK = os.path.join(WORK, "%dm" % size_mib)
    bench.WWW = os.path.join(bench.WORK, "www")
    bench.PROGRAM = os.path.join(bench.WORK, "program")
    bench.CURL_OUT = os.path.join(bench.WORK, "curl")
    return bench


def peaks(size_mib):
    """(VmHWM runs, RssAnon runs) in MiB, one warm-up left out."""
    bench = attempt_bench(size_mib)
    served = bench.prepare()
    resident, private = [], []
    with benchlib.Nginx(bench.WWW, bench.WORK) as nginx, benchlib.WineSession():
        for i in range(ROUNDS + 1):
            _, peak, _ = bench.run_updater(nginx.base_url)
            bench.check_staged(served)
            if i:
                resident.append(peak / 1024)
                private.append(bench.last_watch.private_kib / 1024)
    bench.clean_program_folder()
    shutil.rmtree(bench.WORK, ignore_errors=True)  # gigabytes for the large one
    return resident, private


def main():
    before = benchlib.machine()
    runs = {size: peaks(size) for size in SIZES_MIB}
    small, large = SIZES_MIB
    m = {size: (benchlib.median(r), benchlib.median(p)) for size, (r, p) in runs.items()}
    for size in SIZES_MIB:
        print("15 x %d MiB: peak resident %.1f MiB (runs %s), peak private %.1f MiB (runs %s)"
              % (size, m[size][0], " ".join("%.1f" % v for v in runs[size][0]), m[size][1],
                 " ".join("%.1f" % v for v in runs[size][1])))
    figures = [
        benchlib.figure("peak private memory (RssAnon), 15 x %d MiB" % large, m[large][1],
                        m[small][1], "the same with 15 x %d MiB" % small, unit="MiB",
                        key="private-large", runs={"ours": runs[large][1],
                                                  "baseline": runs[small][1]}),
        benchlib.figure("peak resident set (VmHWM), 15 x %d MiB" % large, m[large][0],
                        m[small][0], "the same with 15 x %d MiB" % small, unit="MiB",
                        key="peak-large", runs={"ours": runs[large][0],
                                                  "baseline": runs[small][0]}),
        benchlib.figure("peak private memory (RssAnon), 15 x %d MiB" % large, m[large][1], 32,
                        "the bound, 32 MiB", unit="MiB", key="private-bound"),
    ]
    benchlib.write_result(
        benchlib.json_argument(sys.argv), "memory",
        "Peak memory of a whole attempt: 15 modules of 16 MiB against 15 of 128 MiB",
        "bench/attempt's whole silent attempt (its program folder, nginx on loopback, the host "
        "stand-in starting the real Updater.exe), once with 15 changed modules of %d MiB and "
        "once with 15 of %d MiB; while the updater runs, its Linux process's RssAnon (private "
        "resident memory, no pages of mapped files) and VmHWM (peak resident set, file pages "
        "included) are read every 10 ms and the largest kept. %d rounds each after one "
        "untimed warm-up; medians." % (small, large, ROUNDS),
        "RssAnon and VmHWM count Wine's own memory in the process too (its libraries' data, "
        "its heaps); a peak reached in the last 10 ms before the process ends would be missed.",
        ROUNDS, before, figures)


if __name__ == "__main__":
    main()
