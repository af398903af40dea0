"""The benchmark's driver: for each payload, generate it, build every
contender's package, check every contender's output once, time them side by
side and write the results as markdown. run.sh builds the programs first."""
import argparse
import os
import shutil
import sys
import tempfile

import contenders
import machine
import page_cache
import payloads
import report
import timing
import verify


def progress(text):
    print("bench: " + text, file=sys.stderr, flush=True)


def check_space(directory, payload):
    # The payload, up to six packages of about its size and one extraction.
    needed = 8 * payload.total_bytes + (256 << 20)
    free = shutil.disk_usage(directory).free
    if free < needed:
        sys.exit("bench: %s needs %d MiB free in %s, only %d MiB are" % (
            payload.name, needed >> 20, directory, free >> 20))


def run_payload(payload, args, work):
    progress("%s: generating %d MiB" % (payload.name, payload.total_bytes >> 20))
    check_space(work, payload)
    source = os.path.join(work, "payload", payload.name)
    paths = payloads.generate(payload, source)
    names = [name for name, _ in payload.files]
    progress("%s: building packages" % payload.name)
    commands = contenders.all_contenders(args.packer, args.stub, names, paths, source,
                                         os.path.join(work, "packages", payload.name),
                                         args.baseline)
    out_dir = os.path.join(work, "out")
    os.makedirs(out_dir, exist_ok=True)
    for command in commands:
        verify.check_output(command, names, paths, out_dir)
    progress("%s: outputs of %s match the payload" % (
        payload.name, ", ".join(command.name for command in commands)))
    # This also writes back everything written so far, so that nothing is still
    # going to disk while timing.
    page_cache.settle(sorted({path for command in commands for path in command.inputs}))
    # Process start dominates the small example and scatters more: more runs.
    small = payload.name == "example"
    rounds = args.runs * 3 if small else args.runs
    # Memory scatters little but costs a run each: five runs where runs are long.
    rss_rounds = rounds if small else 5
    results = timing.measure(commands, out_dir, rounds, rss_rounds,
                             lambda text: progress("%s: %s" % (payload.name, text)))
    shutil.rmtree(os.path.join(work, "packages", payload.name))
    shutil.rmtree(source)
    return commands, results, (rounds, rss_rounds)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--stub", required=True, help="the native sfxstub")
    parser.add_argument("--packer", required=True, help="the native sfxpack")
    parser.add_argument("--output", required=True, help="markdown file for the results")
    parser.add_argument("--baseline", help="a folder with an earlier build's sfxstub and sfxpack, "
                        "timed beside this build")
    parser.add_argument("--runs", type=int, default=7, help="measured runs per command (≥ 5)")
    parser.add_argument("--payloads", default="example,big,wide", help="comma-separated")
    parser.add_argument("--quick", action="store_true",
                        help="big and wide cut to 1/16: a trial of the harness")
    parser.add_argument("--work-dir", default=os.environ.get("TMPDIR", "/var/tmp"),
                        help="where payloads, packages and outputs go (default /var/tmp)")
    args = parser.parse_args()
    if args.runs < 5:
        parser.error("--runs must be at least 5")
    args.stub = os.path.abspath(args.stub)
    args.packer = os.path.abspath(args.packer)

    wanted = args.payloads.split(",")
    chosen = [p for p in payloads.all_payloads(args.quick) if p.name in wanted]
    work = tempfile.mkdtemp(prefix="sfxbench.", dir=args.work_dir)
    try:
        context = machine.describe(work)
        runs, rounds = {}, {}
        for payload in chosen:
            commands, results, rounds[payload.name] = run_payload(payload, args, work)
            runs[payload.name] = (commands, results)
        context["load"] = "%s at the start, %.2f at the end" % (context["load"],
                                                                os.getloadavg()[0])
        report.write(args.output, context, chosen, runs, rounds)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    progress("results written to %s" % args.output)
    with open(args.output) as results:
        sys.stdout.write(results.read())


if __name__ == "__main__":
    main()
