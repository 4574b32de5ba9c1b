#!/usr/bin/env bash
# Do simmgr's intervals hold on a real model? The pool example
# (models/pool.san) is a birth-death chain absorbed once fewer than k units
# are up, so P(failed by t) is known exactly; this bench solves the chain by
# uniformisation (the construction tests/sanc/PoolExampleTest.cpp uses) and
# counts how many independent studies' 95 % intervals at the stopping time
# hold the exact value, cell by cell (experiment x instant).
#   plain:    simmgr run --sim pool_sim --experiments 0,1,2 (failure likely)
#   weighted: simmgr run --sim pool_sim --rare --experiments 3,4 (failure
#             rare, under the model's shipped change of measure)
# A cell met without an event ("bounded") has the interval [0, ci_high].
# Per cell: coverage % with its 95 % Clopper-Pearson interval, the misses
# below/above (interval entirely below / above the exact value), the mean
# replications, and how many runs ended in each status. The total pools the
# cells, which are not independent within a run (one run's instants share
# its replications), so its interval is a guide only.
# Usage: bench/pool_coverage.sh [BIN_DIR] [RUNS] [WEIGHTED_RUNS]
#        (defaults build/bin, 100, 500: about 11 and 2 minutes on 2 idle
#        cores; a plain run takes some 590 000 replications, its
#        experiments 1 and 2 running to the cap, a weighted one about 17 000)
# POOL_COVERAGE_DIR=DIR keeps each run's CSV in DIR and reuses the ones found
# there: the seeds fix every run, so an interrupted bench resumes where it
# stopped, and a larger RUNS only adds runs.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="$(cd "${1:-$repo/build/bin}" && pwd)"
runs="${2:-100}"
weighted_runs="${3:-500}"
if [[ -n "${POOL_COVERAGE_DIR:-}" ]]; then
  mkdir -p "$POOL_COVERAGE_DIR"
  work="$(cd "$POOL_COVERAGE_DIR" && pwd)"
else
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
fi

# A run takes at most 200 blocks (the default cap over the default block
# size) of the study's 5 experiments: seeds base ... base + 999. Run r of
# the plain part starts at 1000 + 1000 r, of the weighted part at 2^29 +
# 1000 r, so no two runs share a seed and every seed stays below 2^30 - 3.
stride=1000
weighted_base=$((1 << 29))
most=$((((1 << 30) - 3 - weighted_base) / stride))
if ((runs < 1 || runs > most || weighted_runs < 1 || weighted_runs > most)); then
  echo "pool_coverage: RUNS and WEIGHTED_RUNS must be 1 ... $most" >&2
  exit 2
fi

# study PART SEED RUN [simmgr options]: one run's CSV, unless it is there.
study() {
  local out="$work/$1$3.csv" seed="$2"
  shift 3
  [[ -e "$out" ]] && return 0
  nice "$bin/simmgr" run --sim "$bin/pool_sim" "$@" --seed "$seed" --csv "$out.part" >/dev/null 2>"$work/err" ||
    { cat "$work/err" >&2; exit 1; }
  mv "$out.part" "$out"
}
for ((r = 0; r < runs; r++)); do study plain $((1000 + r * stride)) "$r" --experiments 0,1,2; done
for ((r = 0; r < weighted_runs; r++)); do study weighted $((weighted_base + r * stride)) "$r" --rare --experiments 3,4; done

python3 - "$work" "$runs" "$weighted_runs" <<'PY'
import csv, math, struct, sys

work, runs = sys.argv[1], {"plain": int(sys.argv[2]), "weighted": int(sys.argv[3])}

def f32(x):  # lambda and mu are float globals: solve the chain the model runs
    return struct.unpack("f", struct.pack("f", x))[0]

# models/pool.san's study, in order: (name, lambda, mu, crews); 4 units, k = 2.
EXPERIMENTS = [("likely", 0.01, 0.1, 1), ("two_crews", 0.01, 0.1, 2), ("fast_repair", 0.01, 1.0, 1),
               ("nominal", 0.001, 1.0, 1), ("rare", 0.0001, 1.0, 1)]
UNITS, K = 4, 2

def chain(lam, mu, crews):
    # State i: i units in repair, i = 0 ... units - k; the last state is failed.
    working = UNITS - K + 1
    q = [[0.0] * (working + 1) for _ in range(working + 1)]
    for i in range(working):
        fail, repair = lam * (UNITS - i), mu * min(i, crews)
        q[i][i + 1] += fail
        if i > 0:
            q[i][i - 1] += repair
        q[i][i] -= fail + repair
    return q

def in_last_state(q, t):
    # Uniformisation: sum of Poisson(rate t; n) P^n, cut 12 sd past the mean.
    n = len(q)
    rate = max(-q[i][i] for i in range(n))
    state = [1.0] + [0.0] * (n - 1)
    mean = rate * t
    result = 0.0
    for k in range(int(mean + 12 * math.sqrt(mean) + 50) + 1):
        result += math.exp(-mean + k * math.log(mean) - math.lgamma(k + 1.0)) * state[-1]
        state = [state[j] + sum(state[i] * q[i][j] / rate for i in range(n)) for j in range(n)]
    return result

exact_values = {}
def exact(e, t):
    if (e, t) not in exact_values:
        _, lam, mu, crews = EXPERIMENTS[e]
        exact_values[e, t] = in_last_state(chain(f32(lam), f32(mu), crews), t)
    return exact_values[e, t]

# Clopper-Pearson by bisection on the binomial tail (no scipy needed).
def binom_cdf(k, n, p):
    if k < 0: return 0.0
    if k >= n: return 1.0
    if p <= 0: return 1.0
    if p >= 1: return 0.0
    lp, lq = math.log(p), math.log1p(-p)
    return min(1.0, sum(math.exp(math.lgamma(n + 1) - math.lgamma(i + 1) - math.lgamma(n - i + 1) + i * lp + (n - i) * lq)
                        for i in range(k + 1)))

def solve(f, lo=0.0, hi=1.0):  # f decreasing in p, root of f = 0
    for _ in range(60):
        mid = (lo + hi) / 2
        if f(mid) > 0: lo = mid
        else: hi = mid
    return (lo + hi) / 2

def clopper_pearson(k, n):
    low = 0.0 if k == 0 else solve(lambda p: binom_cdf(k - 1, n, p) - 0.975)
    high = 1.0 if k == n else solve(lambda p: binom_cdf(k, n, p) - 0.025)
    return low, high

def count(part):
    cells = {}
    for r in range(runs[part]):
        with open(f"{work}/{part}{r}.csv", newline="") as f:
            for row in csv.DictReader(f):
                key = (int(row["experiment"]), float(row["time"]))
                c = cells.setdefault(key, {"n": 0, "hit": 0, "below": 0, "above": 0, "none": 0, "reps": 0, "status": {}})
                x = exact(*key)
                c["n"] += 1
                c["reps"] += int(row["n"])
                c["status"][row["status"]] = c["status"].get(row["status"], 0) + 1
                if not row["ci_high"]:  # no interval at all: a miss, on neither side
                    c["none"] += 1
                    continue
                low = 0.0 if row["status"] == "bounded" else float(row["ci_low"])
                high = float(row["ci_high"])
                if high < x: c["below"] += 1
                elif low > x: c["above"] += 1
                else: c["hit"] += 1
    return cells

def coverage(hit, n):
    lo, hi = clopper_pearson(hit, n)
    return f"{100 * hit / n:6.2f} [{100 * lo:5.2f},{100 * hi:6.2f}]"

for part, title in (("plain", "plain, experiments 0,1,2"), ("weighted", "--rare, experiments 3,4")):
    cells = count(part)
    print(f"{title}; {runs[part]} runs; coverage % [95% Clopper-Pearson] misses below/above")
    print(f"{'experiment':<15} {'t':>5} {'exact':>12}  {'coverage':<24} {'below/above':>11} {'mean reps':>10}  status")
    total = {"n": 0, "hit": 0, "below": 0, "above": 0, "none": 0}
    for (e, t), c in sorted(cells.items()):
        for k in total: total[k] += c[k]
        status = ", ".join(f"{s} {m}" for s, m in sorted(c["status"].items()))
        print(f"{e} {EXPERIMENTS[e][0]:<13} {t:>5g} {exact(e, t):>12.5g}  {coverage(c['hit'], c['n'])}  "
              f"{c['below']:>5}/{c['above']:<5} {c['reps'] / c['n']:>10.0f}  {status}"
              + (f", no interval {c['none']}" if c["none"] else ""))
    print(f"{'total':<15} {'':>5} {'':>12}  {coverage(total['hit'], total['n'])}  {total['below']:>5}/{total['above']:<5}")
    print()
PY
