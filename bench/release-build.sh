# Sourced by the simulator benchmarks: makes (if needed) the plain x86-64
# Release build of basic_model_sim in $build and the reference simulation
# from $baseline_src beside it, and sets $sim and $reference.
# Expects: repo, build, baseline_src, and bench_name for messages.
# An existing build directory is used as configured (it must be a Release
# one); SAN_PERF_CMAKE_ARGS passes extra configure options.
build="$(realpath -m "$build")"
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DSAN_BUILD_TESTS=OFF \
    -DSAN_BUILD_BENCH=OFF -DSAN_BUILD_SIMMGR=OFF ${SAN_PERF_CMAKE_ARGS:-} >/dev/null
fi
if ! grep -q '^CMAKE_BUILD_TYPE:STRING=Release$' "$build/CMakeCache.txt"; then
  echo "$bench_name: $build is not a Release build" >&2
  exit 1
fi
cmake --build "$build" -j2 --target basic_model_sim >/dev/null
sim="$build/bin/basic_model_sim"
reference="$build/bin/reference_sim"
if [[ -f "$baseline_src" && ( ! -x "$reference" || "$baseline_src" -nt "$reference" ) ]]; then
  g++ -std=c++20 -O2 -march=x86-64 -o "$reference" "$baseline_src"
fi
