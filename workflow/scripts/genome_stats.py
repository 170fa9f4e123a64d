# Records, bases and GC content (share of G and C among A, C, G, T) of one
# genome, plain or gzip FASTA, written as a one-line table.
import gzip


def open_genome(path):
    with open(path, "rb") as f:
        magic = f.read(2)
    return gzip.open(path, "rt") if magic == b"\x1f\x8b" else open(path, "rt")


records = bases = gc = acgt = 0
with open_genome(snakemake.input[0]) as f:
    for line in f:
        if line.startswith(">"):
            records += 1
            continue
        seq = "".join(line.split()).upper()
        bases += len(seq)
        g_c = seq.count("G") + seq.count("C")
        gc += g_c
        acgt += g_c + seq.count("A") + seq.count("T")

with open(snakemake.output[0], "w") as out:
    out.write("records\tbases\tgc\n")
    out.write(f"{records}\t{bases}\t{100.0 * gc / acgt if acgt else 0.0:.2f}\n")
