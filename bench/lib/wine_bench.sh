# Sourced by the Wine benchmarks: what several of them share.

# winpath PATH: PATH as the installer under Wine names it (drive Z:).
winpath() { local p=${1//\//\\}; echo "Z:$p"; }

# median: the median of the numbers on standard input, one a line.
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# now: seconds since the epoch, with nanoseconds.
now() { date +%s.%N; }

# version_one V2 V1: writes to V1 an older version of the product in V2:
# every third file changed, every seventh missing.
version_one() {
  cp -r "$1" "$2"
  find "$2" -type f | sort | awk 'NR % 7 == 0' | xargs rm
  find "$2" -type f | sort | awk 'NR % 3 == 0' | while read -r f; do echo "version 1" >>"$f"; done
}
