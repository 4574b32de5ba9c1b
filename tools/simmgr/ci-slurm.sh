#!/usr/bin/env bash
# Scales out on a real Slurm cluster (tools/cluster/start-local-slurm.sh
# starts a one-node one): plans a study of more than 1000 blocks, so that an
# array task runs several lines, submits the plan's slurm.sh from another
# directory, and checks that merging the blocks gives the answer of
# `simmgr run` for the same options, for basic_model and for a model of
# one's own (the pool example under its shipped change of measure). Then a
# plan whose simulator fails for one seed: that line's task must fail while
# every other line still ran.
# Usage: tools/simmgr/ci-slurm.sh [BIN_DIR] (default build/bin).
set -euo pipefail
bin=$(cd "${1:-build/bin}" && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# The exit code Slurm recorded for one array task, e.g. "0:0".
task_exit() { scontrol show job "$1" | grep -o 'ExitCode=[0-9]*:[0-9]*' | head -n1 | cut -d= -f2; }

study=(--experiments 0 --block-size 1 --reps 1100)
"$bin/simmgr" plan --sim "$bin/basic_model_sim" "${study[@]}" --out "$out/plan" >/dev/null
test "$(wc -l < "$out/plan/jobs.txt")" -eq 1100
# 40 tasks rather than the script's 1000: each runs 27 or 28 lines, and the
# one-node cluster is not kept starting a thousand tasks.
(cd / && sbatch --wait --quiet --array=1-40 "$out/plan/slurm.sh")
"$bin/simmgr" merge --store "$out/plan" "${study[@]}" --csv "$out/merged.csv" >/dev/null
"$bin/simmgr" run --sim "$bin/basic_model_sim" "${study[@]}" --csv "$out/run.csv" >/dev/null
cmp "$out/merged.csv" "$out/run.csv"
echo "plan, sbatch and merge gave the answer of run (1100 blocks, 40 array tasks)"

pool=(--sim "$bin/pool_sim" --rare --experiments 3,4 --block-size 500 --max-reps 20000)
"$bin/simmgr" plan "${pool[@]}" --out "$out/pool" >/dev/null
(cd / && sbatch --wait --quiet --array=1-4 "$out/pool/slurm.sh")
"$bin/simmgr" merge "${pool[@]}" --store "$out/pool" --csv "$out/pool-merged.csv" >/dev/null
"$bin/simmgr" run "${pool[@]}" --csv "$out/pool-run.csv" >/dev/null
cmp "$out/pool-merged.csv" "$out/pool-run.csv"
echo "pool_sim --rare: plan, sbatch and merge gave the answer of run"

# Line 1 fails; task 1 of 2 also runs lines 3, 5, …, 1001, task 2 lines 2, 4, …, 1002.
cat > "$out/fails-on-first-seed.sh" <<SIM
#!/bin/sh
case " \$* " in *" -s 31415 "*) echo "refusing seed 31415" >&2; exit 7 ;; esac
exec "$bin/basic_model_sim" "\$@"
SIM
chmod +x "$out/fails-on-first-seed.sh"
"$bin/simmgr" plan --sim "$out/fails-on-first-seed.sh" --experiments 0 --block-size 1 --reps 1002 \
  --out "$out/failing" >/dev/null
if job=$(cd / && sbatch --wait --parsable --array=1-2 "$out/failing/slurm.sh"); then
  echo "ci-slurm: sbatch --wait succeeded although a line failed" >&2
  exit 1
fi
job=${job%%;*}
test "$(task_exit "${job}_1")" != "0:0" || { echo "ci-slurm: task 1 hid its failed line" >&2; exit 1; }
test "$(task_exit "${job}_2")" = "0:0" || { echo "ci-slurm: task 2 failed" >&2; exit 1; }
# Block files begin with the model's identity, which this check need not know.
block_file() { compgen -G "$out/failing/*_$1.bin" || true; }
test -z "$(block_file e0_b0_s31415_n1)"
for block in e0_b1000_s40415_n1 e0_b1_s31424_n1 e0_b1001_s40424_n1; do
  test -s "$(block_file "$block")" || { echo "ci-slurm: block $block was never written" >&2; exit 1; }
done
echo "a failing line failed its task, and the task's other lines still ran"
