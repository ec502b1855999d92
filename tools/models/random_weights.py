"""Random tensor data in the layouts ggml reads.

How fast a model runs depends on its shape and on how its weights are stored,
not on their values, so the quantised blocks here are random bytes with a
fixed, small block scale: every value decodes to a finite number of about the
size a trained layer has, and no quantiser has to run over a gigabyte of
floats. Every function takes the caller's numpy Generator, so a fixed seed
gives the same file every time.
"""
import numpy as np


def _f16_bytes(value):
    return np.array([value], dtype="<f2").view(np.uint8)


def _blocks(rng, count, size):
    return np.frombuffer(rng.bytes(count * size), dtype=np.uint8).reshape(count, size).copy()


def floats(rng, shape, scale, dtype):
    """Normal values of this standard deviation; shape in numpy order."""
    return (rng.standard_normal(shape, dtype=np.float32) * scale).astype(dtype)


def q4_k(rng, elements):
    # d, dmin (f16), 12 bytes of 6-bit scales and mins, 128 bytes of 4-bit
    # values: x = d*scale*q - dmin*min. dmin at 7.5 d keeps the mean near 0.
    blocks = _blocks(rng, elements // 256, 144)
    blocks[:, 0:2] = _f16_bytes(1.0e-4)
    blocks[:, 2:4] = _f16_bytes(7.5e-4)
    return blocks


def q6_k(rng, elements):
    # 128 bytes low bits, 64 bytes high bits, 16 signed 8-bit scales, d (f16):
    # x = d*scale*(q - 32).
    blocks = _blocks(rng, elements // 256, 210)
    blocks[:, 208:210] = _f16_bytes(1.0e-5)
    return blocks


def q5_1(rng, elements):
    # d, m (f16), 4 bytes of fifth bits, 16 bytes of 4-bit values: x = d*q + m.
    blocks = _blocks(rng, elements // 32, 24)
    blocks[:, 0:2] = _f16_bytes(4.0e-3)
    blocks[:, 2:4] = _f16_bytes(-6.2e-2)
    return blocks


def q8_0(values):
    """Quantises float rows (numpy order, last axis a multiple of 32) to Q8_0."""
    blocks = values.astype(np.float32).reshape(-1, 32)
    scale = np.abs(blocks).max(axis=1, keepdims=True) / 127.0
    scale[scale == 0] = 1.0
    quants = np.round(blocks / scale).astype(np.int8)
    out = np.empty((blocks.shape[0], 34), dtype=np.uint8)
    out[:, 0:2] = scale.astype("<f2").view(np.uint8)
    out[:, 2:] = quants.view(np.uint8)
    return out
