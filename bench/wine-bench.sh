# Sourced by the run scripts of the Wine benchmarks, with the script's
# arguments: a first argument not starting with "--" is the build directory
# (build/win64 otherwise), kept in $build; the rest, the benchmark's own
# options, in the array bench_args.
build=build/win64
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then
  build=$1
  shift
fi
bench_args=("$@")

# Configures the win64 preset in $build and builds the given targets.
wine_bench_build() {
  cmake --preset win64 -B "$build" >/dev/null
  cmake --build "$build" -j2 --target "$@"
}

# The build tree's Wine prefix, and an Xvfb of its own unless DISPLAY is set,
# as the tests get them; stopped when the script exits.
wine_bench_display() {
  cmake/display-fixture.sh start "$build" >/dev/null
  trap 'cmake/display-fixture.sh stop "$build" >/dev/null' EXIT
}
