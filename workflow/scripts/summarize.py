# One line per genome: genome, records, bases, GC (%), genes (CDS lines of
# the GFF) and the wall time of its annotation in seconds.
import csv


def one_row(path):
    with open(path, newline="") as f:
        return next(csv.DictReader(f, delimiter="\t"))


with open(snakemake.output[0], "w") as out:
    out.write("genome\trecords\tbases\tGC\tgenes\tseconds\n")
    for sample, stats, gff, bench in zip(snakemake.params.samples, snakemake.input.stats,
                                         snakemake.input.gff, snakemake.input.benchmark):
        s = one_row(stats)
        with open(gff) as f:
            genes = sum(1 for line in f if not line.startswith("#") and "\tCDS\t" in line)
        seconds = float(one_row(bench)["s"])
        out.write(f"{sample}\t{s['records']}\t{s['bases']}\t{s['gc']}\t{genes}\t{seconds:.2f}\n")
