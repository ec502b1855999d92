// The model files Quorvel needs to dictate: which they are, which are missing,
// the two kinds of later upgrade, and their download from the model host in
// pieces that survive an interruption, joined and checked against SHA-256.
//
// A namespace of functions: nothing is kept between calls except what is on
// disk. Any thread may call any function; `download` blocks its caller (run it
// as a task) and calls its callbacks on that same thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/Files.h"
#include "support/Tasks.h"

namespace quorvel {
namespace ModelStore {

// One downloadable file.
struct Item {
  std::string file;    // path relative to the target folder (may contain "/")
  std::string url;     // full address on the model host
  std::string sha256;  // 64 lower-case hexadecimal digits
  std::int64_t bytes = 0;
  std::string label;   // what the user is told the file is
  std::string licence = {};  // the model's licence, named where models are listed
};

// One part of an item, fetched on its own and kept in the ".parts" folder.
struct Piece {
  std::string url;
  std::int64_t start = 0;
  std::int64_t length = 0;
  bool whole = false;  // the item has this one piece: fetched without a range
  fs::path file;       // where the piece is kept until it is joined

  // Whether the piece's file exists with exactly `length` bytes.
  bool here() const;
};

inline constexpr std::int64_t pieceSize = 8'000'000;  // decimal, not 8 MiB
inline constexpr int piecesAtOnce = 6;
inline constexpr std::size_t blockBytes = 8'388'608;  // joining and hashing

// The catalog pins each item's public address, size and SHA-256. When
// QUORVEL_MODEL_HOST is set and not empty it names a mirror (a company's, the
// tests' loopback host) that serves every item under its own file name; the
// sizes and checksums stay the pinned ones. Read once.
std::optional<std::string> mirror();
// host + path, without doubling the "/" between them.
std::string itemUrl(std::string_view host, std::string_view path);

// The items. An item without an address (no public file yet) is never fetched.
// speech(file) for each of Config::speechModels(); speech() is the chosen one.
Item speech();
Item speech(std::string_view file);
Item base();             // its file is Config::baseModelFile
Item cleanupAdapter();   // "adapters/cleanup-5.gguf"; not published: no address
Item mergedCleanup();    // the older stand-alone cleanup model: recognised, never fetched

// The speech model the user chose ("speechModel" in the settings, one of
// Config::speechModels()), else "ggml-small.en-q5_1.bin".
std::string chosenSpeechFile();

// What dictation needs, in this order: the speech model (the chosen one, or
// speechFile), the base model, and the cleanup layer when the catalog has an
// address for it.
std::vector<Item> required();
std::vector<Item> required(std::string_view speechFile);
// Those of required() whose file does not exist in Config::models().
std::vector<Item> missing();
// True when items is not empty, holds only the base model and the cleanup
// layer, and the older stand-alone cleanup model and the speech model are both
// in Config::models(): only the base model and the layer are new.
bool isUpgrade(const std::vector<Item>& items);
// True when items is exactly the cleanup layer and some cleanup layer
// (Config::adapterFile("cleanup")) is already present: only a newer layer is missing.
bool isNewerLayer(const std::vector<Item>& items);
// Deletes every "cleanup*.gguf" file in Config::adaptersDir() except the
// newest layer's. Errors are ignored.
void removeOlderLayers();

// How a download behaves. The defaults are the product's; tests shorten them.
struct DownloadSettings {
  std::int64_t pieceSize = ModelStore::pieceSize;
  int piecesAtOnce = ModelStore::piecesAtOnce;
  int triesPerPiece = 4;
  // After the n-th failed try of a piece (n from 1) the fetch waits n × retryStep.
  std::chrono::milliseconds retryStep{1500};
  // A piece request that receives nothing for this long fails (a time-out
  // between bytes, not for the whole piece: a slow line still finishes).
  std::chrono::milliseconds pieceTimeout{20000};
  // The same for the whole-file fetch.
  std::chrono::milliseconds wholeTimeout{60000};
  // Certificate authority bundle for HTTPS; the system's when absent.
  std::optional<std::string> caFile;
  // Cancelling ends the download soon with false (e.g. when the program quits).
  CancelToken cancel;

  // The defaults, changed by the environment (read once):
  //   QUORVEL_CA_FILE                  caFile
  //   QUORVEL_DOWNLOAD_PIECE_BYTES     pieceSize (a positive number)
  //   QUORVEL_DOWNLOAD_RETRY_MS        retryStep
  //   QUORVEL_DOWNLOAD_TIMEOUT_MS      pieceTimeout; wholeTimeout is three times it
  // The last three exist for tests; a value that is not a positive decimal
  // number is ignored.
  static DownloadSettings fromEnvironment();
};

// (bytes done, bytes in all) and the texts for the user.
using ByteCallback = std::function<void(std::int64_t done, std::int64_t total)>;
using MessageCallback = std::function<void(const std::string& message)>;

// Fetches the items into folder and answers true when every one of them is at
// its place there and matched its checksum. Pieces already in folder/.parts
// from an interrupted run count as done. A file appears at its destination only
// complete and verified. On failure the pieces that arrived stay for the next
// run, and the reason goes through progress when it is on this machine's side
// (a folder that can't be written, a full disk) or an item has no usable
// address. Either callback may be empty. Blocks until done; callbacks are called
// on the calling thread.
bool download(const std::vector<Item>& items, const fs::path& folder, const ByteCallback& bytes,
              const MessageCallback& progress, const DownloadSettings& settings);
// Into Config::models(), with DownloadSettings::fromEnvironment().
bool download(const std::vector<Item>& items, const ByteCallback& bytes,
              const MessageCallback& progress);

// The pieces of an item, their files in the parts folder; none when the item's
// address is not usable.
std::vector<Piece> pieces(const Item& item, const fs::path& parts,
                          std::int64_t size = ModelStore::pieceSize);

// Lower-case hexadecimal SHA-256 of the file, read in blocks of blockBytes;
// nothing when the file cannot be opened or read.
std::optional<std::string> fileSHA256(const fs::path& file);

// "Downloading Quorvel's models… 42% of 1.3 GB" (never 100%).
std::string progressText(std::int64_t done, std::int64_t total);
// "Speech Model isn't available to download yet" for the label "speech model".
std::string unavailableText(std::string_view label);
inline constexpr std::string_view startingText = "Starting the models…";

// An absolute http or https address with a host and nothing a URL can't hold.
bool isUsableUrl(std::string_view url);

}  // namespace ModelStore
}  // namespace quorvel
