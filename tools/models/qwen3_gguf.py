"""Random-weight language models of the Qwen3 architecture for llama-server.

Two shapes: "tiny" (loads in a moment, for tests; F16 layers and a Q8_0
token table, with a LoRA cleanup layer of rank 4 on attn_q and attn_v) and
"1.7b", the shape and storage of Qwen3-1.7B at Q4_K_M (28 layers, 2048 wide,
16 query and 8 key/value heads of 128, feed-forward 6144, 151,936 tokens; the
tied token table and a third of attn_v and ffn_down in Q6_K, the rest Q4_K, as
llama.cpp's quantiser lays out Q4_K_M), for measuring the real model's speed.
"""
from dataclasses import dataclass

import numpy as np

import bpe_vocab
import gguf_file as gf
import random_weights as rw

SEED = 20261211

# The chat format Qwen3 uses: ChatML turns, and an empty thinking block when
# the request turns thinking off.
CHAT_TEMPLATE = """\
{%- for message in messages -%}
{{- '<|im_start|>' + message.role + '\\n' + (message.content if message.content is string else '') + '<|im_end|>\\n' -}}
{%- endfor -%}
{%- if add_generation_prompt -%}
{{- '<|im_start|>assistant\\n' -}}
{%- if enable_thinking is defined and enable_thinking is false -%}
{{- '<think>\\n\\n</think>\\n\\n' -}}
{%- endif -%}
{%- endif -%}
"""


@dataclass(frozen=True)
class Shape:
    name: str
    layers: int
    width: int
    heads: int
    kv_heads: int
    head_dim: int
    feed_forward: int
    vocab: int
    context: int
    quantised: bool  # Q4_K_M storage; otherwise F16 layers and a Q8_0 token table


SHAPES = {
    "tiny": Shape("quorvel-tiny-qwen3", 2, 64, 4, 2, 16, 128, 8192, 4096, False),
    "1.7b": Shape("quorvel-random-qwen3-1.7b", 28, 2048, 16, 8, 128, 6144, 151936, 40960, True),
}

LORA_RANK = 4
LORA_TARGETS = ("attn_q", "attn_v")


def matrix_shapes(shape):
    """(n_out, n_in) of each layer matrix."""
    q, kv = shape.heads * shape.head_dim, shape.kv_heads * shape.head_dim
    return {
        "attn_q": (q, shape.width),
        "attn_k": (kv, shape.width),
        "attn_v": (kv, shape.width),
        "attn_output": (shape.width, q),
        "ffn_gate": (shape.feed_forward, shape.width),
        "ffn_up": (shape.feed_forward, shape.width),
        "ffn_down": (shape.width, shape.feed_forward),
    }


def _more_bits(layer, layers):
    # which layers' attn_v and ffn_down Q4_K_M keeps in Q6_K
    eighth = layers // 8
    return layer < eighth or layer >= 7 * layers // 8 or (layer - eighth) % 3 == 2


def _common_metadata(out, kind):
    out.add("general.architecture", "qwen3")
    out.add("general.type", kind)


def write_model(shape, path, wordfreq):
    rng = np.random.default_rng(SEED)
    tokens, types, merges, special = bpe_vocab.build(shape.vocab, wordfreq)
    out = gf.GGUFFile()
    _common_metadata(out, "model")
    out.add("general.name", shape.name)
    out.add("general.file_type", 15 if shape.quantised else 7)  # Q4_K_M, Q8_0
    out.add("qwen3.context_length", shape.context)
    out.add("qwen3.embedding_length", shape.width)
    out.add("qwen3.block_count", shape.layers)
    out.add("qwen3.feed_forward_length", shape.feed_forward)
    out.add("qwen3.attention.head_count", shape.heads)
    out.add("qwen3.attention.head_count_kv", shape.kv_heads)
    out.add("qwen3.attention.key_length", shape.head_dim)
    out.add("qwen3.attention.value_length", shape.head_dim)
    out.add("qwen3.rope.freq_base", 1000000.0)
    out.add("qwen3.attention.layer_norm_rms_epsilon", 1e-6)
    out.add("tokenizer.ggml.model", "gpt2")
    out.add("tokenizer.ggml.pre", "qwen2")
    out.add("tokenizer.ggml.tokens", tokens)
    out.add_int32_array("tokenizer.ggml.token_type", types)
    out.add("tokenizer.ggml.merges", merges)
    out.add("tokenizer.ggml.eos_token_id", special["<|im_end|>"])
    out.add("tokenizer.ggml.padding_token_id", special["<|endoftext|>"])
    out.add("tokenizer.ggml.bos_token_id", special["<|endoftext|>"])
    out.add("tokenizer.ggml.add_bos_token", False)
    out.add("tokenizer.chat_template", CHAT_TEMPLATE)

    width = shape.width
    if shape.quantised:
        out.add_tensor("token_embd.weight", (width, shape.vocab), gf.Q6_K,
                       lambda: rw.q6_k(rng, width * shape.vocab))
    else:
        # small next to what the layers add, so an answer follows its context
        # rather than repeating the last token
        out.add_tensor("token_embd.weight", (width, shape.vocab), gf.Q8_0,
                       lambda: rw.q8_0(rw.floats(rng, (shape.vocab, width), 0.05, np.float32)))
    ones = lambda size: (lambda: np.ones(size, dtype=np.float32))
    out.add_tensor("output_norm.weight", (width,), gf.F32, ones(width))
    for layer in range(shape.layers):
        for norm, size in (("attn_norm", width), ("ffn_norm", width),
                           ("attn_q_norm", shape.head_dim), ("attn_k_norm", shape.head_dim)):
            out.add_tensor(f"blk.{layer}.{norm}.weight", (size,), gf.F32, ones(size))
        for name, (n_out, n_in) in matrix_shapes(shape).items():
            out.add_tensor(f"blk.{layer}.{name}.weight", (n_in, n_out),
                           *_layer_matrix(rng, shape, layer, name, n_out, n_in))
    out.write(path)


def _layer_matrix(rng, shape, layer, name, n_out, n_in):
    if not shape.quantised:
        return gf.F16, lambda: rw.floats(rng, (n_out, n_in), n_in ** -0.5, np.float16)
    if name in ("attn_v", "ffn_down") and _more_bits(layer, shape.layers):
        return gf.Q6_K, lambda: rw.q6_k(rng, n_out * n_in)
    return gf.Q4_K, lambda: rw.q4_k(rng, n_out * n_in)


def write_adapter(shape, path):
    """A LoRA layer large enough that applying it (scale 1) changes what a
    greedy request answers."""
    rng = np.random.default_rng(SEED + 1)
    out = gf.GGUFFile()
    _common_metadata(out, "adapter")
    out.add("general.name", shape.name + "-cleanup-lora")
    out.add("adapter.type", "lora")
    out.add("adapter.lora.alpha", float(LORA_RANK))
    shapes = matrix_shapes(shape)
    for layer in range(shape.layers):
        for name in LORA_TARGETS:
            n_out, n_in = shapes[name]
            out.add_tensor(f"blk.{layer}.{name}.weight.lora_a", (n_in, LORA_RANK), gf.F32,
                           lambda n_in=n_in: rw.floats(rng, (LORA_RANK, n_in), n_in ** -0.5, np.float32))
            out.add_tensor(f"blk.{layer}.{name}.weight.lora_b", (LORA_RANK, n_out), gf.F32,
                           lambda n_out=n_out: rw.floats(rng, (n_out, LORA_RANK), 2.0, np.float32))
    out.write(path)
