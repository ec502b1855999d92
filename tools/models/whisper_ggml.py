"""Speech models in whisper.cpp's ggml file format, with random weights.

The file: magic, eleven int32 settings, the mel filter bank, the token texts,
then each tensor as (dimensions, name length, type, sizes fastest first, name,
data). Shapes:
  tiny   no tensors at all: whisper-server loads it as an empty model for
         tests and answers every request with an empty text
  base   Whisper base.en, 16-bit weights (as ggml-base.en.bin)
  small  Whisper small.en, Q5_1 weights (as ggml-small.en-q5_1.bin)
"""
import os
import struct
from dataclasses import dataclass

import numpy as np

import bpe_vocab
import random_weights as rw

SEED = 20261212
MAGIC = 0x67676D6C
N_MELS, N_FFT_BINS, SAMPLE_RATE = 80, 201, 16000
# English-only models: 51,864 tokens, the first 50,256 written out, the
# special ones (end of text, start, timestamps) added by the loader.
N_VOCAB, N_TEXT_TOKENS = 51864, 50256
FTYPE_F16, FTYPE_Q5_1 = 1, 9
QUANTISATION_VERSION = 2  # whisper.cpp stores it as ftype + 1000 * version


@dataclass(frozen=True)
class Shape:
    width: int
    heads: int
    layers: int
    ftype: int
    weightless: bool = False


SHAPES = {
    "tiny": Shape(384, 6, 4, FTYPE_F16, weightless=True),
    "base": Shape(512, 8, 6, FTYPE_F16),
    "small": Shape(768, 12, 12, FTYPE_Q5_1),
}
AUDIO_CONTEXT, TEXT_CONTEXT = 1500, 448


def mel_filters():
    """A triangular filter bank on the mel scale over the 201 bins of a 400-point FFT."""
    def to_mel(hz):
        return 2595.0 * np.log10(1.0 + hz / 700.0)

    def to_hz(mel):
        return 700.0 * (10.0 ** (mel / 2595.0) - 1.0)

    edges = to_hz(np.linspace(to_mel(0.0), to_mel(SAMPLE_RATE / 2), N_MELS + 2))
    bins = np.linspace(0.0, SAMPLE_RATE / 2, N_FFT_BINS)
    bank = np.zeros((N_MELS, N_FFT_BINS), dtype=np.float32)
    for m in range(N_MELS):
        low, mid, high = edges[m], edges[m + 1], edges[m + 2]
        rising = (bins - low) / (mid - low)
        falling = (high - bins) / (high - mid)
        bank[m] = np.maximum(0.0, np.minimum(rising, falling)) * (2.0 / (high - low))
    return bank


def token_texts(wordfreq):
    # The byte pieces' own bytes, then English words with a leading space.
    texts = [bytes([b]) for b in range(256)]
    seen = set(texts)
    for word in bpe_vocab.words(wordfreq):
        if len(texts) >= N_TEXT_TOKENS:
            break
        for variant in ((" " + word).encode(), word.encode()):
            if variant not in seen and len(texts) < N_TEXT_TOKENS:
                seen.add(variant)
                texts.append(variant)
    while len(texts) < N_TEXT_TOKENS:
        texts.append(b"\x7f%d" % len(texts))
    return texts


def tensors(shape):
    """(name, sizes fastest first, kind): kind "w" the weight type, "conv"
    16-bit, "f32" 32-bit floats; the order and types whisper.cpp's loader expects."""
    n, vocab = shape.width, N_VOCAB
    out = [("encoder.positional_embedding", (n, AUDIO_CONTEXT), "f32"),
           ("encoder.conv1.weight", (3, N_MELS, n), "conv"),
           ("encoder.conv1.bias", (1, n), "f32"),
           ("encoder.conv2.weight", (3, n, n), "conv"),
           ("encoder.conv2.bias", (1, n), "f32"),
           ("encoder.ln_post.weight", (n,), "f32"),
           ("encoder.ln_post.bias", (n,), "f32")]

    def block(prefix, attentions):
        rows = [(f"{prefix}.mlp_ln.weight", (n,), "f32"), (f"{prefix}.mlp_ln.bias", (n,), "f32"),
                (f"{prefix}.mlp.0.weight", (n, 4 * n), "w"), (f"{prefix}.mlp.0.bias", (4 * n,), "f32"),
                (f"{prefix}.mlp.2.weight", (4 * n, n), "w"), (f"{prefix}.mlp.2.bias", (n,), "f32")]
        for attn in attentions:
            rows += [(f"{prefix}.{attn}_ln.weight", (n,), "f32"), (f"{prefix}.{attn}_ln.bias", (n,), "f32"),
                     (f"{prefix}.{attn}.query.weight", (n, n), "w"), (f"{prefix}.{attn}.query.bias", (n,), "f32"),
                     (f"{prefix}.{attn}.key.weight", (n, n), "w"),
                     (f"{prefix}.{attn}.value.weight", (n, n), "w"), (f"{prefix}.{attn}.value.bias", (n,), "f32"),
                     (f"{prefix}.{attn}.out.weight", (n, n), "w"), (f"{prefix}.{attn}.out.bias", (n,), "f32")]
        return rows

    for layer in range(shape.layers):
        out += block(f"encoder.blocks.{layer}", ("attn",))
    out += [("decoder.positional_embedding", (n, TEXT_CONTEXT), "f32"),
            ("decoder.token_embedding.weight", (n, vocab), "w"),
            ("decoder.ln.weight", (n,), "f32"),
            ("decoder.ln.bias", (n,), "f32")]
    for layer in range(shape.layers):
        out += block(f"decoder.blocks.{layer}", ("attn", "cross_attn"))
    return out


def _data(rng, sizes, kind, ftype, name):
    count = int(np.prod(sizes))
    if kind == "f32":
        if name.endswith("ln.weight") or name.endswith("ln_post.weight"):
            return 0, np.ones(count, dtype=np.float32)
        return 0, rw.floats(rng, count, 0.02, np.float32)
    if kind == "w" and ftype == FTYPE_Q5_1:
        return 7, rw.q5_1(rng, count)
    # numpy order is the reverse of ggml's; the fan-in is the fastest size
    return 1, rw.floats(rng, count, sizes[0] ** -0.5, np.float16)


def write(shape, path, wordfreq):
    rng = np.random.default_rng(SEED)
    tmp = f"{path}.tmp-{os.getpid()}"
    ftype = shape.ftype + (QUANTISATION_VERSION * 1000 if shape.ftype == FTYPE_Q5_1 else 0)
    try:
        with open(tmp, "wb") as out:
            out.write(struct.pack("<12i", MAGIC, N_VOCAB, AUDIO_CONTEXT, shape.width, shape.heads,
                                  shape.layers, TEXT_CONTEXT, shape.width, shape.heads,
                                  shape.layers, N_MELS, ftype))
            filters = mel_filters()
            out.write(struct.pack("<2i", *filters.shape))
            out.write(filters.astype("<f4").tobytes())
            texts = token_texts(wordfreq)
            out.write(struct.pack("<i", len(texts)))
            for text in texts:
                out.write(struct.pack("<I", len(text)) + text)
            if not shape.weightless:
                for name, sizes, kind in tensors(shape):
                    code, data = _data(rng, sizes, kind, shape.ftype, name)
                    raw = name.encode()
                    out.write(struct.pack("<3i", len(sizes), len(raw), code))
                    out.write(struct.pack(f"<{len(sizes)}i", *sizes) + raw)
                    out.write(np.ascontiguousarray(data).tobytes())
        os.replace(tmp, path)
    finally:
        if os.path.exists(tmp):
            os.remove(tmp)
