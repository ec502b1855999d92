"""A byte-level BPE vocabulary of English words, in the form llama.cpp reads
for Qwen-style models (tokenizer model "gpt2", pre-tokenizer "qwen2").

The vocabulary holds the 256 byte pieces, then the most frequent words of
resources/wordfreq-en.txt with and without a leading space, lower case and
capitalised, each reached through the chain of merges that builds it from the
left. Common English text therefore comes out at about one token per word plus
one per punctuation mark, close to what the real Qwen3 tokenizer gives, so
prompt lengths in tokens match those of real dictations. Unreachable filler
pieces and the chat's special tokens make up the requested size.
"""
from pathlib import Path

NORMAL, CONTROL, USER_DEFINED, UNUSED = 1, 3, 4, 5

# Qwen's own special tokens (the chat markers end generation).
CONTROL_TOKENS = ("<|endoftext|>", "<|im_start|>", "<|im_end|>")
USER_TOKENS = ("<think>", "</think>", "<tool_call>", "</tool_call>")


def byte_pieces():
    """GPT-2's reversible mapping of the 256 bytes to printable characters."""
    printable = (list(range(ord("!"), ord("~") + 1)) + list(range(ord("¡"), ord("¬") + 1))
                 + list(range(ord("®"), ord("ÿ") + 1)))
    chars = {b: chr(b) for b in printable}
    extra = 0
    for b in range(256):
        if b not in chars:
            chars[b] = chr(256 + extra)
            extra += 1
    return [chars[b] for b in range(256)]


def encode(text, pieces):
    return "".join(pieces[b] for b in text.encode("utf-8"))


def words(wordfreq):
    for line in Path(wordfreq).read_text(encoding="utf-8").splitlines():
        word = line.split("\t", 1)[0].strip()
        if word and " " not in word:
            yield word


def build(total, wordfreq):
    """Returns (tokens, token_types, merges, ids of the special tokens).

    total is the whole vocabulary; as in Qwen3 (151,643 of 151,936) all but
    the last fifth of a percent are normal pieces, the rest special tokens and
    padding."""
    pieces = byte_pieces()
    tokens = list(pieces)
    known = set(tokens)
    merges = []
    normal = total - max(len(CONTROL_TOKENS) + len(USER_TOKENS), total // 500)
    if normal < len(pieces):
        raise ValueError(f"a vocabulary of {total} has no room for the byte pieces")

    def add_word(text):
        encoded = encode(text, pieces)
        for end in range(2, len(encoded) + 1):
            if len(tokens) >= normal:
                return
            piece = encoded[:end]
            if piece in known:
                continue
            merges.append(f"{encoded[:end - 1]} {encoded[end - 1]}")
            tokens.append(piece)
            known.add(piece)

    for word in words(wordfreq):
        if len(tokens) >= normal:
            break
        for variant in (" " + word, word, " " + word.capitalize(), word.capitalize()):
            add_word(variant)
    filler = 0
    while len(tokens) < normal:
        # never reached by a merge, so never produced by tokenizing
        tokens.append(encode(f" \x7f{filler}", pieces))
        filler += 1
    types = [NORMAL] * len(tokens)

    special = {}
    for text in CONTROL_TOKENS:
        special[text] = len(tokens)
        tokens.append(text)
        types.append(CONTROL)
    for text in USER_TOKENS:
        special[text] = len(tokens)
        tokens.append(text)
        types.append(USER_DEFINED)
    while len(tokens) < total:
        tokens.append(f"[PAD{len(tokens)}]")
        types.append(UNUSED)
    return tokens, types, merges, special
