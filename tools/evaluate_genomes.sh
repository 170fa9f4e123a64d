#!/usr/bin/env bash
# Runs codonspace on every annotated genome and scores it.
#
#   tools/evaluate_genomes.sh [-b BUILD_DIR] [-d DATA_DIR] [-g GENOMES_DIR] [-m MIN_LENGTH] [-M METHOD] [START ...]
#
# Defaults: build, data, ../shared/genomes, method 1, and the minimum length
# and start codons that `codonspace-annotate -h` of the build names as its
# defaults (paths relative to the repo root). Every genome directory holding NAME.fna and
# NAME.cds.tsv is run in a temporary directory with DATA_DIR linked in as
# data/. Multi-record genomes are split into one file per record (codonspace
# takes one record) and scored together with `evaluate --per-record`.
# Prints one line per genome from `evaluate`.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=$repo/build
data=$repo/data
genomes=$repo/../shared/genomes
min_length=
method=1
while getopts "b:d:g:m:M:" opt; do
  case $opt in
    b) build=$(cd "$OPTARG" && pwd) ;;
    d) data=$(cd "$OPTARG" && pwd) ;;
    g) genomes=$(cd "$OPTARG" && pwd) ;;
    m) min_length=$OPTARG ;;
    M) method=$OPTARG ;;
    *) echo "usage: $0 [-b BUILD_DIR] [-d DATA_DIR] [-g GENOMES_DIR] [-m MIN_LENGTH] [-M METHOD] [START ...]" >&2; exit 1 ;;
  esac
done
shift $((OPTIND - 1))
starts=("$@")

for tool in codonspace codonspace-annotate evaluate; do
  [ -x "$build/$tool" ] || { echo "$0: $build/$tool is missing; build the project first" >&2; exit 1; }
done
# The recommended settings, as the build's codonspace-annotate states them.
help=$("$build/codonspace-annotate" -h)
default_of() { awk -v opt="$1" '$0 ~ opt { found = 1 } found && /\(default / { sub(/.*\(default /, ""); sub(/\).*/, ""); print; exit }' <<<"$help"; }
[ -n "$min_length" ] || min_length=$(default_of '--min-length')
[ ${#starts[@]} -gt 0 ] || IFS=, read -r -a starts <<<"$(default_of '--starts')"
[ -n "$min_length" ] && [ ${#starts[@]} -gt 0 ] || { echo "$0: cannot read the defaults from $build/codonspace-annotate -h" >&2; exit 1; }

work=$(mktemp -d /tmp/evaluate_genomes.XXXXXX)
trap 'rm -rf "$work"' EXIT

# Runs codonspace on one single-record FASTA file in directory $2.
run_one() {
  local fasta=$1 dir=$2
  mkdir -p "$dir"
  ln -s "$data" "$dir/data"
  (cd "$dir" && "$build/codonspace" "$fasta" "$min_length" "$method" "${starts[@]}" >/dev/null)
  rm "$dir/data"
}

echo "# method $method, min length $min_length, starts ${starts[*]}, data $data"
for gdir in "$genomes"/*/; do
  name=$(basename "$gdir")
  fna=$gdir/$name.fna
  ref=$gdir/$name.cds.tsv
  [ -f "$fna" ] && [ -f "$ref" ] || continue
  records=$(grep -c '^>' "$fna")
  if [ "$records" -eq 1 ]; then
    run_one "$fna" "$work/$name"
    "$build/evaluate" --name "$name" "$ref" "$work/$name"
  else
    split=$work/$name.split
    mkdir -p "$split"
    # One file per record, named by the first word of its header.
    awk -v dir="$split" '/^>/ { if (out) close(out); id = substr($1, 2); out = dir "/" id ".fna" } { print > out }' "$fna"
    for f in "$split"/*.fna; do
      id=$(basename "$f" .fna)
      run_one "$f" "$work/$name/$id"
    done
    "$build/evaluate" --name "$name" --per-record "$ref" "$work/$name"
  fi
  rm -rf "$work/$name" "$work/$name.split"
done
