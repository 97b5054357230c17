#!/usr/bin/env python3
"""Times scikit-learn's multiplicative-update NMF on the problem bench_nmf writes.

The file holds int32 n, p, k, updates, then float64 X (n x p), W0 (n x k) and H0 (k x p),
row by row. Prints the best of `repeats` timings in seconds, or a line starting with
"skip:" when scikit-learn cannot be imported.
"""
import os
import sys
import time
import warnings

# One BLAS thread, as the program runs its own products; read when numpy loads its BLAS.
for variable in ("OPENBLAS_NUM_THREADS", "OMP_NUM_THREADS", "GOTO_NUM_THREADS"):
    os.environ[variable] = "1"

try:
    import numpy as np
    from sklearn.decomposition import non_negative_factorization
except ImportError as error:
    print(f"skip: scikit-learn is not installed ({error}); install it with scripts/deps --bench")
    sys.exit(0)


def main(path, repeats):
    header = np.fromfile(path, dtype="<i4", count=4)
    n, p, k, updates = (int(v) for v in header)
    values = np.fromfile(path, dtype="<f8", offset=16)
    x = values[: n * p].reshape(n, p)
    w0 = values[n * p : n * p + n * k].reshape(n, k)
    h0 = values[n * p + n * k : n * p + n * k + k * p].reshape(k, p)
    best = float("inf")
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        for _ in range(repeats):
            w, h = w0.copy(), h0.copy()
            start = time.perf_counter()
            non_negative_factorization(x, W=w, H=h, n_components=k, init="custom", solver="mu",
                                       beta_loss="frobenius", tol=0.0, max_iter=updates)
            best = min(best, time.perf_counter() - start)
    print(f"{best:.6f}")


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 3)
