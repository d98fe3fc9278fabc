#pragma once
// The element tree and text pieces of a page, read from the raw GBK bytes for list
// recognition: runs of blanks are kept (so that cells set apart only by spaces stay apart),
// popover texts ("data-content") are read, scripts, comments and hidden elements are not.
// The tree's depth and size and the search for a closing tag are bounded, so building it is
// linear in the page.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace lists {

inline constexpr uint32_t kNone = 0xFFFFFFFFu;
// Two or more blanks in a piece; the cells of a line are set apart by it.
inline constexpr char kCellBreak = '\t';

bool IsHeadingTag(std::string_view name);

// Four words a node: the parent and the last child are known only while the node is open, so
// they are kept on the stack of open elements. Nodes are made in document order, so a node's
// first child, when it has one, is the node after it.
struct TNode {
  uint32_t Next = kNone;
  uint32_t PieceBegin = 0;
  uint32_t PieceEnd = 0;
  uint32_t Kind = 0;  // its tag name and first class word (TDocument::Sig and Tag), kHasChildren
};
inline constexpr uint32_t kHasChildren = 0x80000000u;

struct TTagInfo;

// The element tree and the text pieces of a page. A piece is a run of text between two tags
// that are not inline; blank runs inside it are one space, or kCellBreak for two or more.
class TDocument {
 public:
  explicit TDocument(std::string_view html);

  void Build();

  const std::vector<TNode>& Nodes() const { return nodes_; }
  std::size_t PieceCount() const { return pieceNodes_.size(); }
  // The innermost element holding piece k.
  uint32_t PieceNode(std::size_t k) const { return pieceNodes_[k]; }
  std::string_view PieceText(std::size_t k) const;
  // Text bytes of pieces [begin, end).
  std::size_t Bytes(uint32_t begin, uint32_t end) const;
  const std::string& Title() const { return title_; }
  uint32_t TagId(std::string_view name) const;
  std::string_view TagName(uint32_t id) const { return names_[id]; }
  // The node's tag name and first class word, interned; its tag name, interned.
  uint32_t Sig(const TNode& n) const { return kinds_[n.Kind & ~kHasChildren].first; }
  uint32_t Tag(const TNode& n) const { return kinds_[n.Kind & ~kHasChildren].second; }
  uint32_t FirstChild(uint32_t node) const {
    return nodes_[node].Kind & kHasChildren ? node + 1 : kNone;
  }

 private:
  uint32_t Intern(const std::string& s);

  // Reads the markup at `lt`; returns where reading goes on.
  std::size_t Markup(std::size_t lt);

  // Pops the stack through the nearest open element named in `targets`, looking no further
  // down than an element named in `stops`.
  void CloseOpen(std::initializer_list<std::string_view> targets,
                 std::initializer_list<std::string_view> stops);

  void Open(const TTagInfo& tag);

  void Close(const std::string& name);

  void Pop();

  // The text of a popover attribute: entities decoded, its tags read as line breaks.
  void AttributeText(std::string_view value);

  void Text(std::string_view raw);

  // Entities decoded; blanks written as they are ("\x01" for a non-breaking space).
  static void DecodeInto(std::string_view raw, std::string& out);

  void AppendText(std::string_view t);

  void Blank(bool lineFeed);

  void Put(std::string_view bytes);

  void EndPiece();

  std::string_view html_;
  std::size_t maxNodes_ = 0;
  std::vector<TNode> nodes_;
  // The pieces: the element of each, the size of its text in a byte (kLongPiece: the size is
  // in longPieces_), and where the text of every eighth starts among the text of all pieces.
  // Some five and a half bytes a piece, on pages where a piece comes every few bytes.
  static constexpr uint8_t kLongPiece = 0xFF;
  std::vector<uint32_t> pieceNodes_;
  std::vector<uint8_t> pieceSizes_;
  std::vector<uint32_t> pieceBegins_;
  std::vector<std::pair<uint32_t, uint32_t>> longPieces_;  // piece, size; in piece order
  std::size_t PieceSize(std::size_t k) const;
  // Where piece k's text starts among the text of all pieces (k == PieceCount(): the end).
  std::size_t PieceBegin(std::size_t k) const;
  // Where each piece's text starts: in the page when it reads there as it stands, else (with
  // kInArena) in the arena, which holds only the text that decoding or blanks changed.
  static constexpr uint32_t kInArena = 0x80000000u;
  std::vector<uint32_t> sources_;
  std::string arena_;
  std::size_t textSize_ = 0;  // text of all pieces so far
  std::size_t rawSize_ = 0;   // of it, text that reads the same in the page
  std::size_t keptSize_ = 0;  // of that, text kept in the page
  // All text in the arena, in piece order, and sources_ empty: so until pieces kept in the
  // page would save more than their place in sources_ costs (not on a page of short pieces).
  bool flat_ = true;
  void FlattenIfSmaller();
  // The piece being read, while its text is the page's bytes as they stand.
  bool raw_ = false;
  const char* rawBegin_ = nullptr;
  const char* rawNext_ = nullptr;
  std::vector<uint32_t> stack_;
  std::vector<uint32_t> lastChild_;  // of each open element
  std::vector<bool> hidden_;
  std::unordered_map<std::string, uint32_t> ids_;
  std::vector<std::string> names_;
  // Signature and tag of each kind of node, told apart by both.
  std::vector<std::pair<uint32_t, uint32_t>> kinds_;
  std::unordered_map<uint64_t, uint32_t> kindIds_;
  std::string title_;
  std::unordered_map<std::string, std::size_t> noClose_;  // no "</name" after this position
  std::size_t pieceStart_ = 0;
  bool hasText_ = false;
  std::size_t blanks_ = 0;
  bool lineFeed_ = false;
  int pre_ = 0;
};

}  // namespace lists
