#include "relocation/regexpr.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/error.h"
#include "core/freplace.h"
#include "core/utf.h"

// The pattern is parsed into a small tree, compiled into a program of
// instructions, and run as a Pike VM: every position of the text is visited
// once, carrying at most one thread per instruction, so the time is bounded
// by text length times program size whatever the input. Threads are kept in
// priority order, which gives exactly the match a backtracking engine would
// report (earliest start, left alternative first, lazy repetition shortest).

namespace picrelink {
namespace {

// Text positions are absolute over everything a search has been given, so
// they are 64-bit whatever the size of one piece.
using Pos = uint64_t;
constexpr Pos kUnset = UINT64_MAX;
// Deeper nesting than this is surely a mistake and would only risk the stack.
constexpr int kMaxNesting = 500;
// Repetitions of optional parts are compiled by copying the part; nested ones
// could grow the program beyond reason.
constexpr size_t kMaxProgramSize = 100000;
// The precomputed closures grow with alternatives inside repetitions.
constexpr size_t kMaxClosureSize = 4000000;

struct CharRange {
  char16_t lo;
  char16_t hi;
};

struct CharSet {
  std::vector<CharRange> ranges;
  bool negated = false;

  bool Contains(char16_t c) const {
    bool inside = false;
    for (const CharRange& r : ranges) {
      if (c >= r.lo && c <= r.hi) {
        inside = true;
        break;
      }
    }
    return inside != negated;
  }
};

// ---------------------------------------------------------------- parsing

struct Node {
  enum class Kind { kEmpty, kChar, kAny, kSet, kGroup, kConcat, kAlt, kRepeat };
  Kind kind = Kind::kEmpty;
  char16_t ch = 0;          // kChar
  size_t set = 0;           // kSet: index into the set table
  int group = 0;            // kGroup
  bool atLeastOne = false;  // kRepeat: + (else * or ?)
  bool atMostOne = false;   // kRepeat: ?
  bool greedy = true;       // kRepeat
  std::vector<Node> children;
};

class Parser {
 public:
  explicit Parser(std::u16string_view pattern) : pattern_(pattern) {}

  Node Parse(std::vector<CharSet>& sets, int& groupCount) {
    sets_ = &sets;
    Node root = ParseAlternation(0);
    if (pos_ < pattern_.size()) {
      // The only way the alternation stops early is a ")" without "(".
      Fail("unbalanced parenthesis: \")\" without \"(\"");
    }
    groupCount = groupCount_;
    return root;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw ERegExpr("Invalid pattern \"" + ToUtf8(pattern_) + "\": " + what + " (at character " +
                   std::to_string(pos_ + 1) + ")");
  }

  bool AtEnd() const { return pos_ >= pattern_.size(); }
  char16_t Peek() const { return pattern_[pos_]; }

  Node ParseAlternation(int depth) {
    if (depth > kMaxNesting) Fail("groups nested too deeply");
    std::vector<Node> branches;
    branches.push_back(ParseConcatenation(depth));
    while (!AtEnd() && Peek() == u'|') {
      ++pos_;
      branches.push_back(ParseConcatenation(depth));
    }
    if (branches.size() == 1) return std::move(branches.front());
    Node alt;
    alt.kind = Node::Kind::kAlt;
    alt.children = std::move(branches);
    return alt;
  }

  Node ParseConcatenation(int depth) {
    Node concat;
    concat.kind = Node::Kind::kConcat;
    while (!AtEnd() && Peek() != u'|' && Peek() != u')') {
      concat.children.push_back(ParseRepetition(depth));
    }
    if (concat.children.size() == 1) return std::move(concat.children.front());
    if (concat.children.empty()) return Node{};
    return concat;
  }

  static bool IsRepetition(char16_t c) { return c == u'*' || c == u'+' || c == u'?'; }

  Node ParseRepetition(int depth) {
    if (IsRepetition(Peek())) Fail("repetition without anything to repeat");
    Node atom = ParseAtom(depth);
    if (AtEnd() || !IsRepetition(Peek())) return atom;
    const char16_t op = Peek();
    ++pos_;
    Node rep;
    rep.kind = Node::Kind::kRepeat;
    rep.atLeastOne = op == u'+';
    rep.atMostOne = op == u'?';
    if (!AtEnd() && Peek() == u'?') {
      rep.greedy = false;
      ++pos_;
    }
    // "a**" or "a*?+" would be a repetition of a repetition: reject rather
    // than guess what was meant.
    if (!AtEnd() && IsRepetition(Peek())) Fail("repetition of a repetition");
    rep.children.push_back(std::move(atom));
    return rep;
  }

  Node ParseAtom(int depth) {
    const char16_t c = Peek();
    ++pos_;
    Node node;
    switch (c) {
      case u'.':
        node.kind = Node::Kind::kAny;
        return node;
      case u'\\':
        if (AtEnd()) Fail("\"\\\" at the end of the pattern");
        node.kind = Node::Kind::kChar;
        node.ch = Peek();
        ++pos_;
        return node;
      case u'[':
        return ParseSet();
      case u'(': {
        node.kind = Node::Kind::kGroup;
        node.group = ++groupCount_;
        node.children.push_back(ParseAlternation(depth + 1));
        if (AtEnd()) Fail("unbalanced parenthesis: \"(\" without \")\"");
        ++pos_;  // the ")"
        return node;
      }
      default:
        node.kind = Node::Kind::kChar;
        node.ch = c;
        return node;
    }
  }

  // After "[": items up to "]". A "]" first in the set, and a "-" first or
  // last, stand for themselves; "\" takes the next character literally.
  Node ParseSet() {
    const size_t open = pos_ - 1;
    CharSet set;
    if (!AtEnd() && Peek() == u'^') {
      set.negated = true;
      ++pos_;
    }
    bool first = true;
    for (;;) {
      if (AtEnd()) {
        pos_ = open;
        Fail("unterminated set: \"[\" without \"]\"");
      }
      if (Peek() == u']' && !first) {
        ++pos_;
        break;
      }
      first = false;
      const char16_t lo = SetCharacter();
      char16_t hi = lo;
      if (pos_ + 1 < pattern_.size() && Peek() == u'-' && pattern_[pos_ + 1] != u']') {
        ++pos_;
        hi = SetCharacter();
        if (hi < lo) Fail("set range out of order");
      }
      set.ranges.push_back({lo, hi});
    }
    Node node;
    node.kind = Node::Kind::kSet;
    node.set = sets_->size();
    sets_->push_back(std::move(set));
    return node;
  }

  char16_t SetCharacter() {
    char16_t c = Peek();
    ++pos_;
    if (c == u'\\') {
      if (AtEnd()) Fail("\"\\\" at the end of the pattern");
      c = Peek();
      ++pos_;
    }
    return c;
  }

  std::u16string_view pattern_;
  size_t pos_ = 0;
  int groupCount_ = 0;
  std::vector<CharSet>* sets_ = nullptr;
};

// ---------------------------------------------------------------- program

enum class Op : uint8_t { kChar, kAny, kSet, kSplit, kJmp, kSave, kMatch };

struct Inst {
  Op op;
  char16_t ch = 0;  // kChar
  uint32_t x = 0;   // kSplit, kJmp: preferred target; kSave: slot; kSet: set index
  uint32_t y = 0;   // kSplit: the other target
};

// One instruction that consumes a character or matches, reached from a
// thread's next instruction through jumps, splits and saves; the saves met
// on the way are saveSlots[savesBegin, savesEnd).
struct ClosureEntry {
  uint32_t target;
  uint32_t savesBegin;
  uint32_t savesEnd;
};

struct Program {
  std::vector<Inst> insts;
  std::vector<CharSet> sets;
  size_t slotCount = 2;  // two capture slots per group, group 0 included
  // The consuming instructions that every match begins with, one after the
  // other without a choice between them: a thread that has passed them
  // stands at headEnd, with the saves headSaves (slot, offset from the
  // start) done on the way.
  std::vector<uint32_t> head;
  uint32_t headEnd = 0;
  std::vector<std::pair<uint32_t, uint32_t>> headSaves;
  // Characters that stand at anchorOffset in every match: a run of the head,
  // the one least likely to occur elsewhere, searched for to find where a
  // match may begin. Empty when the head holds no single character.
  std::u16string anchor;
  size_t anchorOffset = 0;
  // For the entry and for every instruction after a consuming one: what a
  // thread arriving there turns into, in priority order. Worked out once,
  // so that a step of the search is a walk over a short list.
  std::vector<std::vector<ClosureEntry>> closures;
  std::vector<uint32_t> saveSlots;
};

class Compiler {
 public:
  explicit Compiler(Program& program) : p_(program) {}

  void Emit(const Node& node) {
    switch (node.kind) {
      case Node::Kind::kEmpty:
        return;
      case Node::Kind::kChar:
        Add({Op::kChar, node.ch});
        return;
      case Node::Kind::kAny:
        Add({Op::kAny});
        return;
      case Node::Kind::kSet:
        Add({Op::kSet, 0, static_cast<uint32_t>(node.set)});
        return;
      case Node::Kind::kGroup:
        Add({Op::kSave, 0, static_cast<uint32_t>(2 * node.group)});
        Emit(node.children.front());
        Add({Op::kSave, 0, static_cast<uint32_t>(2 * node.group + 1)});
        return;
      case Node::Kind::kConcat:
        for (const Node& child : node.children) Emit(child);
        return;
      case Node::Kind::kAlt:
        EmitAlternation(node);
        return;
      case Node::Kind::kRepeat:
        EmitRepetition(node);
        return;
    }
  }

 private:
  static bool CanMatchEmpty(const Node& node) {
    switch (node.kind) {
      case Node::Kind::kEmpty:
        return true;
      case Node::Kind::kChar:
      case Node::Kind::kAny:
      case Node::Kind::kSet:
        return false;
      case Node::Kind::kGroup:
        return CanMatchEmpty(node.children.front());
      case Node::Kind::kConcat:
        for (const Node& child : node.children) {
          if (!CanMatchEmpty(child)) return false;
        }
        return true;
      case Node::Kind::kAlt:
        for (const Node& child : node.children) {
          if (CanMatchEmpty(child)) return true;
        }
        return false;
      case Node::Kind::kRepeat:
        return !node.atLeastOne || CanMatchEmpty(node.children.front());
    }
    return true;
  }

  uint32_t Add(Inst inst) {
    if (p_.insts.size() >= kMaxProgramSize) {
      throw ERegExpr("Invalid pattern: too complex (nested repetitions of optional parts)");
    }
    p_.insts.push_back(inst);
    return static_cast<uint32_t>(p_.insts.size() - 1);
  }
  uint32_t Next() const { return static_cast<uint32_t>(p_.insts.size()); }

  // Split(preferred, other), in the order the repetition's greed asks for.
  void SetSplit(uint32_t at, uint32_t taken, uint32_t skipped, bool greedy) {
    p_.insts[at].x = greedy ? taken : skipped;
    p_.insts[at].y = greedy ? skipped : taken;
  }

  void EmitAlternation(const Node& node) {
    std::vector<uint32_t> jumpsToEnd;
    for (size_t i = 0; i + 1 < node.children.size(); ++i) {
      const uint32_t split = Add({Op::kSplit});
      p_.insts[split].x = Next();
      Emit(node.children[i]);
      jumpsToEnd.push_back(Add({Op::kJmp}));
      p_.insts[split].y = Next();
    }
    Emit(node.children.back());
    for (uint32_t jump : jumpsToEnd) p_.insts[jump].x = Next();
  }

  void EmitRepetition(const Node& node) {
    const Node& body = node.children.front();
    if (node.atLeastOne && CanMatchEmpty(body)) {
      // A backtracking engine lets a second iteration follow an empty first
      // one at the same position; a loop back to the body's start would be
      // cut off there as a revisit. Written as "body body*" it is not.
      Emit(body);
      Node star = node;
      star.atLeastOne = false;
      EmitRepetition(star);
      return;
    }
    if (node.atLeastOne) {  // body; Split(body, out)
      const uint32_t start = Next();
      Emit(body);
      const uint32_t split = Add({Op::kSplit});
      SetSplit(split, start, Next(), node.greedy);
      return;
    }
    const uint32_t split = Add({Op::kSplit});
    Emit(body);
    if (node.atMostOne) {  // Split(body, out); body
      SetSplit(split, split + 1, Next(), node.greedy);
      return;
    }
    // Split(body, out); body; Jmp split. An iteration that consumes nothing
    // comes back to the split at the same position and ends there, so empty
    // loops cannot spin.
    Add({Op::kJmp, 0, split});
    SetSplit(split, split + 1, Next(), node.greedy);
  }

  Program& p_;
};

bool Consumes(Op op) { return op == Op::kChar || op == Op::kAny || op == Op::kSet; }

// How unlikely a character is to occur in text at large, from 0 (letters,
// digits, blanks) up to 2 (punctuation outside markup). Only the speed of
// a search depends on it.
int Rarity(char16_t c) {
  if ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u' ') return 0;
  if (c >= 0x80 || (c >= u'A' && c <= u'Z')) return 1;
  static constexpr std::u16string_view kMarkup = u"\"'<>/=,.;-_\r\n\t";
  return kMarkup.find(c) != std::u16string_view::npos ? 1 : 2;
}

// Walks the program from its entry through saves and jumps for as long as
// one consuming instruction follows another, up to the first choice: the
// head of every match. Its rarest run of single characters becomes the
// anchor.
void FindHead(Program& program) {
  std::vector<std::pair<uint32_t, uint32_t>> saves;
  size_t headSaveCount = 0;
  uint32_t pc = 0;
  for (size_t steps = 0; steps < program.insts.size(); ++steps) {
    const Inst& inst = program.insts[pc];
    if (inst.op == Op::kSave) {
      saves.push_back({inst.x, static_cast<uint32_t>(program.head.size())});
      ++pc;
    } else if (inst.op == Op::kJmp) {
      pc = inst.x;
    } else if (Consumes(inst.op)) {
      program.head.push_back(pc);
      headSaveCount = saves.size();
      program.headEnd = ++pc;
    } else {
      break;
    }
  }
  saves.resize(headSaveCount);
  program.headSaves = std::move(saves);

  int bestScore = -1;
  const std::vector<uint32_t>& head = program.head;
  for (size_t begin = 0; begin < head.size();) {
    if (program.insts[head[begin]].op != Op::kChar) {
      ++begin;
      continue;
    }
    std::u16string run;
    int score = 0;
    size_t end = begin;
    for (; end < head.size() && program.insts[head[end]].op == Op::kChar; ++end) {
      run.push_back(program.insts[head[end]].ch);
      score += Rarity(run.back());
    }
    if (score > bestScore) {
      bestScore = score;
      program.anchor = std::move(run);
      program.anchorOffset = begin;
    }
    begin = end;
  }
}

// Follows the jumps, splits and saves from each entry point depth-first, the
// preferred branch first, as a backtracking engine would try them. An
// instruction met a second time is not followed again: the earlier path has
// the higher priority and the same future, and a loop that comes back to its
// own start without consuming ends there.
void ComputeClosures(Program& program) {
  const auto count = static_cast<uint32_t>(program.insts.size());
  program.closures.assign(count, {});
  std::vector<uint32_t> visitedIn(count, UINT32_MAX);
  std::vector<uint32_t> path;  // saves on the way to the current instruction
  struct Branch {
    uint32_t pc;
    size_t pathLength;
  };
  std::vector<Branch> branches;
  size_t total = 0;
  for (uint32_t entry = 0; entry < count; ++entry) {
    if (entry != 0 && !Consumes(program.insts[entry - 1].op)) continue;
    std::vector<ClosureEntry>& closure = program.closures[entry];
    branches.assign(1, {entry, 0});
    while (!branches.empty()) {
      const Branch branch = branches.back();
      branches.pop_back();
      path.resize(branch.pathLength);
      for (uint32_t at = branch.pc; visitedIn[at] != entry;) {
        visitedIn[at] = entry;
        const Inst& inst = program.insts[at];
        if (inst.op == Op::kJmp) {
          at = inst.x;
        } else if (inst.op == Op::kSplit) {
          branches.push_back({inst.y, path.size()});
          at = inst.x;
        } else if (inst.op == Op::kSave) {
          path.push_back(inst.x);
          ++at;
        } else {
          const auto begin = static_cast<uint32_t>(program.saveSlots.size());
          program.saveSlots.insert(program.saveSlots.end(), path.begin(), path.end());
          closure.push_back({at, begin, static_cast<uint32_t>(program.saveSlots.size())});
          break;
        }
      }
    }
    total += closure.size();
    if (total + program.saveSlots.size() > kMaxClosureSize) {
      throw ERegExpr("Invalid pattern: too complex (too many alternatives within repetitions)");
    }
  }
}

Program Compile(std::u16string_view pattern) {
  Program program;
  int groupCount = 0;
  const Node root = Parser(pattern).Parse(program.sets, groupCount);
  program.slotCount = 2 * (static_cast<size_t>(groupCount) + 1);
  Compiler compiler(program);
  program.insts.push_back({Op::kSave, 0, 0});
  compiler.Emit(root);
  program.insts.push_back({Op::kSave, 0, 1});
  program.insts.push_back({Op::kMatch});
  FindHead(program);
  ComputeClosures(program);
  return program;
}

// ---------------------------------------------------------------- Pike VM

constexpr uint32_t kNoParent = UINT32_MAX;

// The threads alive at one text position, in priority order, at most one per
// instruction (a sparse set over instruction indexes), each with its capture
// slots and the index of the thread of the previous position it came from.
class ThreadList {
 public:
  ThreadList(size_t instCount, size_t slotCount)
      : slotCount_(slotCount),
        sparse_(instCount),
        dense_(instCount),
        parent_(instCount),
        slots_(instCount * slotCount) {}

  bool Contains(uint32_t pc) const {
    const uint32_t i = sparse_[pc];
    return i < size_ && dense_[i] == pc;
  }
  // Adds pc as the lowest-priority thread and returns its slots.
  Pos* Add(uint32_t pc, uint32_t parent) {
    sparse_[pc] = static_cast<uint32_t>(size_);
    dense_[size_] = pc;
    parent_[size_] = parent;
    return Slots(size_++);
  }
  void Clear() { size_ = 0; }
  size_t Size() const { return size_; }
  uint32_t Pc(size_t i) const { return dense_[i]; }
  uint32_t Parent(size_t i) const { return parent_[i]; }
  Pos* Slots(size_t i) { return &slots_[i * slotCount_]; }
  const Pos* Slots(size_t i) const { return &slots_[i * slotCount_]; }

 private:
  size_t slotCount_;
  size_t size_ = 0;
  std::vector<uint32_t> sparse_;
  std::vector<uint32_t> dense_;
  std::vector<uint32_t> parent_;
  std::vector<Pos> slots_;
};

using Groups = std::vector<std::optional<std::u16string>>;

// One search, over a text given in pieces. The threads alive at the end of
// a piece carry over to the next; of the text itself only what a live
// thread (or the best match so far) has captured from is kept, so a search
// needs memory for its candidate match, not for the text.
class PikeVm {
 public:
  explicit PikeVm(const Program& program)
      : p_(program),
        lists_{ThreadList(program.insts.size(), program.slotCount),
               ThreadList(program.insts.size(), program.slotCount)},
        fresh_(program.slotCount, kUnset),
        scratch_(program.slotCount, kUnset) {}

  // Steps over the next piece of the text; last says the text ends with it.
  // True once the outcome is settled: a match that nothing further in the
  // text can change, or the end of the text. Later pieces are ignored.
  bool Feed(std::u16string_view piece, bool last) {
    if (settled_) return true;
    piece_ = piece;
    base_ = pos_;
    last_ = last;
    startCacheFrom_ = kNoCache;
    const size_t n = piece.size();
    const bool anchored = !p_.anchor.empty();
    size_t i = 0;
    for (;;) {
      if (!hasFound_ && current_->Size() == 0 && anchored) {
        // Nothing alive: no match can begin before the next place where the
        // head may stand, so go straight there, and over the whole head when
        // no other start lies within.
        i = NextPossibleStart(i);
        const size_t headLength = p_.head.size();
        if (i + headLength <= n && NextPossibleStart(i + 1) >= i + headLength) {
          LeapOverHead(i);
          i += headLength;
        }
      }
      const bool more = i < n;
      if (!more && !last) break;  // the next piece goes on from here
      if (!hasFound_ && StartsAt(i)) {
        // A match starting here has the lowest priority of all.
        AddThread(*current_, 0, base_ + i, fresh_.data(), kNoParent);
      }
      if (current_->Size() == 0) {
        if (!more) break;
        ++i;
        continue;
      }
      Step(more ? piece[i] : 0, more, base_ + i);
      if (more) i = SkipSteadyRun(i);
      std::swap(current_, next_);
      next_->Clear();
      // Nothing of higher priority than the match found is left.
      if (hasFound_ && current_->Size() == 0) break;
      if (!more) break;
      ++i;
    }
    pos_ = base_ + n;
    if (last || (hasFound_ && current_->Size() == 0)) {
      Settle();
    } else if (current_->Size() != 0 && p_.insts[current_->Pc(0)].op == Op::kMatch) {
      // The first thread has matched: whatever comes next cannot beat it.
      const Pos* slots = current_->Slots(0);
      found_.assign(slots, slots + p_.slotCount);
      hasFound_ = true;
      Settle();
    } else {
      KeepNeededText();
    }
    piece_ = {};
    return settled_;
  }

  // The groups of the match, once settled; nothing when there is none.
  std::optional<Groups> TakeMatch() { return std::move(match_); }

 private:
  static constexpr size_t kNoCache = static_cast<size_t>(-1);
  // Kept text beyond this, four times more than it needs, is given back.
  static constexpr size_t kKeptSlack = size_t{1} << 20;

  void AddThread(ThreadList& list, uint32_t pc, Pos pos, const Pos* slots, uint32_t parent) const {
    for (const ClosureEntry& e : p_.closures[pc]) {
      if (list.Contains(e.target)) continue;
      Pos* to = list.Add(e.target, parent);
      for (size_t s = 0; s < p_.slotCount; ++s) to[s] = slots[s];
      for (uint32_t k = e.savesBegin; k < e.savesEnd; ++k) to[p_.saveSlots[k]] = pos;
    }
  }

  // The threads of the current position over the character c (none at the
  // end of the text) into the next position's list.
  void Step(char16_t c, bool more, Pos pos) {
    for (size_t i = 0; i < current_->Size(); ++i) {
      const Inst& inst = p_.insts[current_->Pc(i)];
      bool advance = false;
      switch (inst.op) {
        case Op::kChar:
          advance = more && c == inst.ch;
          break;
        case Op::kAny:
          advance = more;
          break;
        case Op::kSet:
          advance = more && p_.sets[inst.x].Contains(c);
          break;
        case Op::kMatch: {
          const Pos* slots = current_->Slots(i);
          found_.assign(slots, slots + p_.slotCount);
          hasFound_ = true;
          // Every thread after this one has lower priority: drop them.
          i = current_->Size();
          continue;
        }
        default:  // only consuming and matching instructions become threads
          break;
      }
      if (advance) {
        AddThread(*next_, current_->Pc(i) + 1, pos + 1, current_->Slots(i),
                  static_cast<uint32_t>(i));
      }
    }
  }

  // Where a thread that begins at index `at` of the piece stands after the
  // head: the same single thread that stepping over it would leave, when no
  // other start lies within.
  void LeapOverHead(size_t at) {
    const Pos start = base_ + at;
    std::copy(fresh_.begin(), fresh_.end(), scratch_.begin());
    for (const auto& [slot, offset] : p_.headSaves) scratch_[slot] = start + offset;
    AddThread(*current_, p_.headEnd, start + p_.head.size(), scratch_.data(), kNoParent);
  }

  bool Accepts(uint32_t pc, char16_t c) const {
    const Inst& inst = p_.insts[pc];
    switch (inst.op) {
      case Op::kChar:
        return c == inst.ch;
      case Op::kSet:
        return p_.sets[inst.x].Contains(c);
      default:
        return true;  // kAny
    }
  }

  // Whether the head can be read from index `at` on, as far as this piece
  // and the end of the text tell.
  bool HeadFits(size_t at) const {
    const size_t n = piece_.size();
    for (size_t j = 0; j < p_.head.size(); ++j) {
      if (at + j >= n) return !last_;
      if (!Accepts(p_.head[j], piece_[at + j])) return false;
    }
    return true;
  }

  // The first index from `from` on where a match may begin: where the head
  // stands whole, or, in a piece that is not the last, where the piece ends
  // in a beginning of the head. The piece's size when there is none. A
  // start anywhere else would die within the head, and since starts have
  // the lowest priority, without touching any other thread, so it is never
  // made. Only for a program with an anchor.
  size_t NextPossibleStart(size_t from) {
    if (startCacheFrom_ != kNoCache && startCacheFrom_ <= from && from <= startCacheAt_) {
      return startCacheAt_;
    }
    const size_t n = piece_.size();
    const size_t headLength = p_.head.size();
    size_t at = n;
    if (n >= headLength) {
      // Heads that lie wholly in the piece, found by their anchor.
      const size_t lastWhole = n - headLength;
      const size_t searched = lastWhole + p_.anchorOffset + p_.anchor.size();
      for (size_t start = from; start <= lastWhole; ++start) {
        const size_t found =
            FindOccurrence(piece_.data(), searched, p_.anchor, false, start + p_.anchorOffset);
        if (found == kNoOccurrence) break;
        start = found - p_.anchorOffset;
        if (HeadFits(start)) {
          at = start;
          break;
        }
      }
    }
    if (at == n && !last_) {
      // Heads cut by the end of the piece.
      for (size_t start = std::max(from, n - std::min(n, headLength - 1)); start < n; ++start) {
        if (HeadFits(start)) {
          at = start;
          break;
        }
      }
    }
    startCacheFrom_ = from;
    startCacheAt_ = at;
    return at;
  }

  bool StartsAt(size_t i) {
    if (p_.anchor.empty()) return true;
    return i < piece_.size() && Accepts(p_.head.front(), piece_[i]) && NextPossibleStart(i) == i;
  }

  // Long stretches of text often change nothing but positions: a lazy ".*?"
  // waiting for its closing character keeps the same threads, whose only
  // change is the capture slot saved at each step. When the step from index
  // i (to the threads in next) was such a step, every following character
  // that no thread looks at, and where no match may begin, repeats it
  // exactly, so the search jumps to the next index that matters and puts the
  // moving slots there. Returns the index of the last character stepped over
  // (i when nothing is).
  size_t SkipSteadyRun(size_t i) {
    const ThreadList& current = *current_;
    ThreadList& next = *next_;
    const size_t n = next.Size();
    if (n == 0 || n != current.Size()) return i;
    char16_t wanted[4];  // the characters some thread looks at
    size_t wantedCount = 0;
    for (size_t t = 0; t < n; ++t) {
      if (next.Pc(t) != current.Pc(t)) return i;
      const Inst& inst = p_.insts[next.Pc(t)];
      if (inst.op == Op::kChar) {
        if (wantedCount == 4) return i;
        wanted[wantedCount++] = inst.ch;
      } else if (inst.op != Op::kAny) {
        return i;  // sets and matches are not worth the bookkeeping
      }
    }
    const auto isWanted = [&](char16_t ch) {
      for (size_t k = 0; k < wantedCount; ++k) {
        if (ch == wanted[k]) return true;
      }
      return false;
    };
    // The step just taken must have been one over an unwatched character
    // where no match began, and repeating it must reproduce every slot:
    // saved ones move along, the others are copies that no longer change.
    const bool startsPending = !hasFound_;
    if (isWanted(piece_[i]) || (startsPending && StartsAt(i))) return i;
    const Pos moved = base_ + i + 1;
    for (size_t t = 0; t < n; ++t) {
      const Pos* slots = next.Slots(t);
      const Pos* from = next.Slots(next.Parent(t));
      for (size_t s = 0; s < p_.slotCount; ++s) {
        if (slots[s] != moved && slots[s] != from[s]) return i;
      }
    }
    const size_t first = i + 1;
    const size_t limit = startsPending ? NextPossibleStart(first) : piece_.size();
    size_t q = limit;
    if (wantedCount == 1) {
      const size_t at =
          FindOccurrence(piece_.data(), limit, std::u16string_view(wanted, 1), false, first);
      if (at != kNoOccurrence) q = at;
    } else if (wantedCount > 1) {
      q = first;
      while (q < limit && !isWanted(piece_[q])) ++q;
    }
    if (q == first) return i;
    const Pos to = base_ + q;
    for (size_t t = 0; t < n; ++t) {
      Pos* slots = next.Slots(t);
      for (size_t s = 0; s < p_.slotCount; ++s) {
        if (slots[s] == moved) slots[s] = to;
      }
    }
    return q - 1;
  }

  // The text of [begin, end): kept text for what lies before this piece.
  std::u16string Text(Pos begin, Pos end) const {
    std::u16string text;
    if (begin < base_) {
      const Pos keptEnd = std::min(end, base_);
      text.append(kept_, static_cast<size_t>(begin - keptBase_),
                  static_cast<size_t>(keptEnd - begin));
      begin = keptEnd;
    }
    if (end > begin) {
      text.append(
          piece_.substr(static_cast<size_t>(begin - base_), static_cast<size_t>(end - begin)));
    }
    return text;
  }

  void Settle() {
    settled_ = true;
    if (hasFound_) {
      // The groups are copied out so that the match outlives the text.
      Groups groups;
      for (size_t g = 0; g + 1 < p_.slotCount; g += 2) {
        const Pos begin = found_[g];
        const Pos end = found_[g + 1];
        if (begin == kUnset || end == kUnset) {
          groups.emplace_back();
        } else {
          groups.emplace_back(Text(begin, end));
        }
      }
      match_ = std::move(groups);
    }
    current_->Clear();
    next_->Clear();
    std::u16string().swap(kept_);
  }

  // Every capture of a thread begins at or after its start (slot 0), so the
  // text from the earliest start still alive on is all a match can need.
  void KeepNeededText() {
    Pos keepFrom = pos_;
    for (size_t t = 0; t < current_->Size(); ++t) {
      keepFrom = std::min(keepFrom, current_->Slots(t)[0]);
    }
    if (hasFound_) keepFrom = std::min(keepFrom, found_[0]);
    if (keepFrom >= base_) {
      kept_.assign(piece_.substr(static_cast<size_t>(keepFrom - base_)));
      keptBase_ = keepFrom;
      if (kept_.capacity() > kKeptSlack && kept_.size() * 4 < kept_.capacity()) {
        kept_.shrink_to_fit();
      }
      return;
    }
    // The text no longer needed goes only once it is at least as long as
    // what stays, so that every character is moved a bounded number of times.
    const auto unneeded = static_cast<size_t>(keepFrom - keptBase_);
    if (unneeded > 0 && unneeded >= kept_.size() - unneeded) {
      kept_.erase(0, unneeded);
      keptBase_ = keepFrom;
    }
    kept_.append(piece_);
  }

  const Program& p_;
  ThreadList lists_[2];
  ThreadList* current_ = &lists_[0];
  ThreadList* next_ = &lists_[1];
  std::vector<Pos> fresh_;
  std::vector<Pos> scratch_;
  std::vector<Pos> found_;  // the slots of the best match so far
  bool hasFound_ = false;
  bool settled_ = false;
  std::optional<Groups> match_;
  Pos pos_ = 0;  // where the next piece begins
  // The piece being stepped over, from position base_ on.
  std::u16string_view piece_;
  Pos base_ = 0;
  bool last_ = false;
  // The text from keptBase_ up to base_ that a match may still need.
  std::u16string kept_;
  Pos keptBase_ = 0;
  // The last answer of NextPossibleStart, good for every index in between.
  size_t startCacheFrom_ = kNoCache;
  size_t startCacheAt_ = 0;
};

}  // namespace

struct TRegExpr::Impl {
  std::u16string expression;
  std::optional<Program> program;  // compiled at the first search
  std::unique_ptr<PikeVm> search;  // the search under way, until it is settled
  bool settled = false;
  std::optional<Groups> groups;  // of the current match

  void Begin() {
    search.reset();
    settled = false;
    groups.reset();
    if (!program) program = Compile(expression);
    search = std::make_unique<PikeVm>(*program);
  }
  bool Run(std::u16string_view piece, bool last) {
    if (settled) return true;
    if (!search) Begin();
    if (search->Feed(piece, last)) {
      settled = true;
      groups = search->TakeMatch();
      search.reset();
    }
    return settled;
  }
};

TRegExpr::TRegExpr() : impl_(std::make_unique<Impl>()) {}
TRegExpr::~TRegExpr() = default;

void TRegExpr::SetExpression(std::u16string_view pattern) {
  impl_->search.reset();
  impl_->settled = false;
  impl_->groups.reset();
  impl_->expression = pattern;
  impl_->program.reset();
}

bool TRegExpr::Exec(std::u16string_view text) {
  impl_->Begin();
  impl_->Run(text, true);
  return Found();
}

void TRegExpr::BeginSearch() { impl_->Begin(); }

bool TRegExpr::Feed(std::u16string_view piece, bool last) { return impl_->Run(piece, last); }

bool TRegExpr::Found() const { return impl_->groups.has_value(); }

namespace {

const std::u16string* GroupText(const std::optional<Groups>& groups, int group) {
  if (!groups || group < 0 || static_cast<size_t>(group) >= groups->size()) return nullptr;
  const auto& text = (*groups)[static_cast<size_t>(group)];
  return text ? &*text : nullptr;
}

}  // namespace

std::u16string TRegExpr::Match(int group) const {
  const std::u16string* text = GroupText(impl_->groups, group);
  return text ? *text : std::u16string();
}

std::u16string TRegExpr::Substitute(std::u16string_view templ) const {
  std::u16string result;
  for (size_t i = 0; i < templ.size(); ++i) {
    if (templ[i] == u'$' && i + 1 < templ.size() && templ[i + 1] >= u'0' && templ[i + 1] <= u'9') {
      if (const std::u16string* text = GroupText(impl_->groups, templ[i + 1] - u'0')) {
        result += *text;
      }
      ++i;
    } else {
      result.push_back(templ[i]);
    }
  }
  return result;
}

}  // namespace picrelink
