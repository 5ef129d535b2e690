"""Trains the learned digit-cell classifier on drawn displays and writes its weights file.

usage: /usr/bin/python3 bench/learned/train.py [--seed 24] [--displays 9000]
       [--out native_ocr/zonescan/learned_model.bin] [--epochs 30] [--cache DIR]
       [--evaluate MODEL]

Draws two equal halves of displays from the seed (cells.py: every seven-segment fonts-dseg face,
slants, LED and LCD polarity, ghosts, glow, blur, noise, JPEG, off-centre cuts, blanks, neighbour
slivers), trains a small multilayer perceptron (ReLU hidden layers, softmax over the digits 0-9 and
blank) on the first half with Adam, prints its accuracy on the second half per face, slant and
polarity, and writes the weights as the data file the library's build turns into C++ arrays (exact
float bits). One thread everywhere, so the same command writes the same bytes. --evaluate prints
the held-out tables of an existing weights file instead (one model beside another on the same
drawing).
"""

import os

os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")
os.environ.setdefault("OMP_NUM_THREADS", "1")

import argparse  # noqa: E402
import collections  # noqa: E402
import pickle  # noqa: E402
import sys  # noqa: E402
import time  # noqa: E402

import cv2  # noqa: E402
import numpy as np  # noqa: E402

sys.path.insert(0, os.path.dirname(__file__))
import cells  # noqa: E402

HIDDEN = (160, 80)
BATCH = 128
WEIGHT_DECAY = 1e-4
ROOT = os.path.join(os.path.dirname(__file__), "..", "..")
DEFAULT_OUT = os.path.join(ROOT, "native_ocr", "zonescan", "learned_model.bin")


def init(rng, sizes):
    layers = []
    for n_in, n_out in zip(sizes[:-1], sizes[1:]):
        w = (rng.standard_normal((n_out, n_in)) * np.sqrt(2.0 / n_in)).astype(np.float32)
        layers.append([w, np.zeros(n_out, np.float32)])
    return layers


def forward(layers, x):
    """The activations of every layer; the last is the softmax."""
    acts = [x]
    for i, (w, b) in enumerate(layers):
        z = acts[-1] @ w.T + b
        if i + 1 < len(layers):
            acts.append(np.maximum(z, 0))
        else:
            z = z - z.max(axis=1, keepdims=True)
            e = np.exp(z)
            acts.append(e / e.sum(axis=1, keepdims=True))
    return acts


def gradients(layers, x, y, onehot):
    """(summed loss, [(weight gradient, bias gradient)] per layer) of a batch."""
    acts = forward(layers, x)
    p = acts[-1]
    loss = float(-np.log(p[np.arange(len(y)), y] + 1e-12).sum())
    grad = (p - onehot) / len(y)
    grads = []
    for i in range(len(layers) - 1, -1, -1):
        w, _ = layers[i]
        grads.append((grad.T @ acts[i] + WEIGHT_DECAY * w, grad.sum(axis=0)))
        if i:
            grad = (grad @ w) * (acts[i] > 0)
    grads.reverse()
    return loss, grads


def adam_step(layers, grads, moments, step, lr):
    beta1, beta2, eps = 0.9, 0.999, 1e-8
    k = 0
    for layer, (gw, gb) in zip(layers, grads):
        for j, g in enumerate((gw, gb)):
            m, v = moments[k]
            m *= beta1
            m += (1 - beta1) * g
            v *= beta2
            v += (1 - beta2) * g * g
            mhat = m / (1 - beta1 ** step)
            vhat = v / (1 - beta2 ** step)
            layer[j] -= (lr * mhat / (np.sqrt(vhat) + eps)).astype(np.float32)
            k += 1


def train(x, y, seed, epochs, log):
    """Adam on minibatches, the learning rate on a cosine from 2e-3 down to 5e-5."""
    rng = np.random.default_rng(seed)
    layers = init(rng, (x.shape[1],) + HIDDEN + (cells.CLASSES,))
    moments = [[np.zeros_like(p), np.zeros_like(p)] for layer in layers for p in layer]
    step = 0
    onehot = np.eye(cells.CLASSES, dtype=np.float32)[y]
    for epoch in range(epochs):
        lr = 2e-3 * 0.5 * (1 + np.cos(np.pi * epoch / epochs)) + 5e-5
        order = rng.permutation(len(x))
        loss = 0.0
        for start in range(0, len(x), BATCH):
            idx = order[start:start + BATCH]
            batch_loss, grads = gradients(layers, x[idx], y[idx], onehot[idx])
            loss += batch_loss
            step += 1
            adam_step(layers, grads, moments, step, lr)
        log(f"epoch {epoch + 1}/{epochs}: loss {loss / len(x):.4f}")
    return layers


def predict(layers, x):
    return forward(layers, x)[-1]


def slant_bucket(info):
    if info["italic"]:
        return "italic face (+0-4 deg)"
    return f"{int(info['slant'] // 5) * 5:2d}-{int(info['slant'] // 5) * 5 + 4} deg"


# Lower edges of the digit-height rows of the report, in pixels: finer where the cut and blur
# weigh most.
HEIGHT_EDGES = (0, 14, 18, 24, 40, 60, 80, 100)


def height_bucket(info):
    low = max(e for e in HEIGHT_EDGES if e <= info["height"])
    following = [e for e in HEIGHT_EDGES if e > low]
    return f"{low:3d}-{following[0] - 1 if following else 120} px"


def report(layers, x, y, infos):
    p = predict(layers, x)
    right = p.argmax(axis=1) == y
    print(f"held-out cells: {len(y)}, accuracy {100.0 * right.mean():.2f} %")
    groups = {"face": lambda i: i["face"], "slant": slant_bucket,
              "polarity": lambda i: "LCD (dark on light)" if i["lcd"] else "LED (light on dark)",
              "kind": lambda i: i["kind"],
              "digit height": height_bucket}
    for name, key in groups.items():
        n, ok = collections.Counter(), collections.Counter()
        for info, r in zip(infos, right):
            n[key(info)] += 1
            ok[key(info)] += int(r)
        print(f"\n| {name} | cells | accuracy |\n|---|---:|---:|")
        for k in sorted(n):
            print(f"| {k} | {n[k]} | {100.0 * ok[k] / n[k]:.2f} % |")
    top = p.max(axis=1)
    print("\n| answered when the probability is at least | cells answered | wrong among answered |"
          "\n|---|---:|---:|")
    for least in (0.5, 0.6, 0.8, 0.9, 0.99):
        answered = top >= least
        print(f"| {least} | {100.0 * answered.mean():.2f} % | "
              f"{100.0 * (~right[answered]).mean():.2f} % |")
    blank = y == cells.BLANK
    print(f"\nblank cells {blank.sum()}: {100.0 * right[blank].mean():.2f} %; "
          f"digit cells {(~blank).sum()}: {100.0 * right[~blank].mean():.2f} %")


def write_model(layers, path, command):
    """The data file native_ocr/zonescan turns into the model's C++ arrays: a few text lines (the
    command, the feature image, each layer's inputs and outputs), then every layer's weights
    (inputs x outputs, the C++ forward pass runs along rows) and bias as little-endian float32."""
    out = ["# Generated by bench/learned/train.py; do not edit. Rebuilt byte for byte by:",
           f"#   {command}",
           f"feature {cells.FEATURE_WIDTH} {cells.FEATURE_HEIGHT}"]
    out += [f"layer {w.shape[1]} {w.shape[0]}" for w, _ in layers]
    out += ["float32le", ""]
    data = b"".join(np.ascontiguousarray(w.T, "<f4").tobytes() + np.asarray(b, "<f4").tobytes()
                    for w, b in layers)
    with open(path, "wb") as f:
        f.write("\n".join(out).encode() + data)


def read_model(path):
    """The layers of a weights file write_model wrote, as train's [weights, bias] per layer."""
    with open(path, "rb") as f:
        data = f.read()
    end = data.index(b"float32le\n") + len(b"float32le\n")
    sizes = [tuple(int(v) for v in line.split()[1:]) for line in data[:end].decode().splitlines()
             if line.startswith("layer ")]
    floats = np.frombuffer(data[end:], "<f4")
    layers = []
    for inputs, outputs in sizes:
        w = floats[:inputs * outputs].reshape(inputs, outputs).T.copy()
        layers.append([w, floats[inputs * outputs:(inputs + 1) * outputs].copy()])
        floats = floats[(inputs + 1) * outputs:]
    return layers


def drawn(cache, displays, seed, faces):
    """cells.draw_cells, or what an earlier run with the same arguments kept in `cache`."""
    path = cache and os.path.join(cache, f"cells_{displays}_{seed}.pickle")
    if path and os.path.exists(path):
        with open(path, "rb") as f:
            return pickle.load(f)
    out = cells.draw_cells(displays, seed, faces)
    if path:
        os.makedirs(cache, exist_ok=True)
        with open(path, "wb") as f:
            pickle.dump(out, f)
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seed", type=int, default=24)
    parser.add_argument("--displays", type=int, default=9000, help="displays in each half")
    parser.add_argument("--epochs", type=int, default=30)
    parser.add_argument("--out", default=DEFAULT_OUT)
    parser.add_argument("--cache", help="keep the drawn cells in this directory and reuse them")
    parser.add_argument("--evaluate", metavar="MODEL",
                        help="only print MODEL's accuracy on the held-out half; train nothing")
    args = parser.parse_args()
    cv2.setNumThreads(1)
    start = time.time()
    log = lambda text: print(f"[{time.time() - start:6.1f} s] {text}", flush=True)  # noqa: E731
    faces = [cells.Face(name) for name in cells.FACES]
    if args.evaluate:
        hx, hy, hinfo = drawn(args.cache, args.displays, args.seed + 1, faces)
        report(read_model(args.evaluate), hx, hy, hinfo)
        return
    x, y, _ = drawn(args.cache, args.displays, args.seed, faces)
    log(f"drew {len(y)} training cells from {args.displays} displays")
    hx, hy, hinfo = drawn(args.cache, args.displays, args.seed + 1, faces)
    log(f"drew {len(hy)} held-out cells")
    layers = train(x, y, args.seed, args.epochs, log)
    report(layers, hx, hy, hinfo)
    command = (f"/usr/bin/python3 bench/learned/train.py --seed {args.seed} --displays "
               f"{args.displays} --epochs {args.epochs}")
    write_model(layers, args.out, command)
    log(f"wrote {args.out}")


if __name__ == "__main__":
    main()
