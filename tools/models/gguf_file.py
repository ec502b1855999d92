"""A small GGUF (version 3) writer: metadata, tensor table, then tensor data.

Tensors are given as (name, shape, type, producer): the shape in ggml order
(the fastest-moving dimension first) and a producer that returns the tensor's
bytes when the data is written, so a file of a gigabyte never sits in memory
whole. Files are written under a temporary name beside the target and renamed.
"""
import os
import struct

ALIGNMENT = 32

# ggml tensor types: (code, elements per block, bytes per block)
F32 = (0, 1, 4)
F16 = (1, 1, 2)
Q5_1 = (7, 32, 24)
Q8_0 = (8, 32, 34)
Q4_K = (12, 256, 144)
Q6_K = (14, 256, 210)

# metadata value types
_UINT32, _INT32, _FLOAT32, _BOOL, _STRING, _ARRAY = 4, 5, 6, 7, 8, 9


def tensor_bytes(shape, ggml_type):
    _, block, size = ggml_type
    count = 1
    for dim in shape:
        count *= dim
    if shape[0] % block:
        raise ValueError(f"a row of {shape[0]} does not split into blocks of {block}")
    return count // block * size


def _string(text):
    raw = text.encode("utf-8")
    return struct.pack("<Q", len(raw)) + raw


def _value(value):
    """Type code and bytes of a metadata value (ints are uint32 unless negative)."""
    if isinstance(value, bool):
        return _BOOL, struct.pack("<?", value)
    if isinstance(value, int):
        return (_INT32, struct.pack("<i", value)) if value < 0 else (_UINT32, struct.pack("<I", value))
    if isinstance(value, float):
        return _FLOAT32, struct.pack("<f", value)
    if isinstance(value, str):
        return _STRING, _string(value)
    if isinstance(value, (list, tuple)):
        if not value:
            raise ValueError("an empty metadata array has no element type")
        kind = _value(value[0])[0]
        items = [_value(item) for item in value]
        if any(code != kind for code, _ in items):
            raise ValueError("a metadata array mixes element types")
        return _ARRAY, struct.pack("<IQ", kind, len(items)) + b"".join(raw for _, raw in items)
    raise TypeError(f"no metadata type for {type(value).__name__}")


class GGUFFile:
    def __init__(self):
        self.metadata = []
        self.tensors = []

    def add(self, key, value):
        self.metadata.append((key, value))

    def add_int32_array(self, key, values):
        self.metadata.append((key, ("int32[]", values)))

    def add_tensor(self, name, shape, ggml_type, producer):
        self.tensors.append((name, tuple(shape), ggml_type, producer))

    def _metadata_bytes(self, key, value):
        if isinstance(value, tuple) and len(value) == 2 and value[0] == "int32[]":
            values = value[1]
            payload = struct.pack("<IQ", _INT32, len(values)) + struct.pack(f"<{len(values)}i", *values)
            return _string(key) + struct.pack("<I", _ARRAY) + payload
        kind, raw = _value(value)
        return _string(key) + struct.pack("<I", kind) + raw

    def write(self, path):
        tmp = f"{path}.tmp-{os.getpid()}"
        try:
            with open(tmp, "wb") as out:
                out.write(b"GGUF" + struct.pack("<IQQ", 3, len(self.tensors), len(self.metadata)))
                for key, value in self.metadata:
                    out.write(self._metadata_bytes(key, value))
                offset = 0
                sizes = []
                for name, shape, ggml_type, _ in self.tensors:
                    size = tensor_bytes(shape, ggml_type)
                    sizes.append(size)
                    out.write(_string(name) + struct.pack("<I", len(shape)))
                    out.write(struct.pack(f"<{len(shape)}Q", *shape))
                    out.write(struct.pack("<IQ", ggml_type[0], offset))
                    offset += _padded(size)
                out.write(b"\0" * (_padded(out.tell()) - out.tell()))
                for (name, _, _, producer), size in zip(self.tensors, sizes):
                    data = producer()
                    written = memoryview(data).nbytes
                    if written != size:
                        raise ValueError(f"{name}: {written} bytes made, {size} expected")
                    out.write(data)
                    out.write(b"\0" * (_padded(size) - size))
            os.replace(tmp, path)
        finally:
            if os.path.exists(tmp):
                os.remove(tmp)


def _padded(size):
    return (size + ALIGNMENT - 1) // ALIGNMENT * ALIGNMENT
