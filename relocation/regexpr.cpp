#include "relocation/regexpr.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/error.h"
#include "core/utf.h"

// The pattern is parsed into a small tree, compiled into a program of
// instructions, and run as a Pike VM: every position of the text is visited
// once, carrying at most one thread per instruction, so the time is bounded
// by text length times program size whatever the input. Threads are kept in
// priority order, which gives exactly the match a backtracking engine would
// report (earliest start, left alternative first, lazy repetition shortest).

namespace picrelink {
namespace {

constexpr size_t kUnset = static_cast<size_t>(-1);
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
  size_t slotCount = 2;   // two capture slots per group, group 0 included
  std::u16string prefix;  // every match begins with these characters
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

// The characters every match must begin with: the chain of single
// characters from the program's entry up to the first choice or wildcard.
std::u16string RequiredPrefix(const Program& program) {
  std::u16string prefix;
  uint32_t pc = 0;
  for (size_t steps = 0; steps < program.insts.size(); ++steps) {
    const Inst& inst = program.insts[pc];
    if (inst.op == Op::kChar) {
      prefix.push_back(inst.ch);
      ++pc;
    } else if (inst.op == Op::kSave) {
      ++pc;
    } else if (inst.op == Op::kJmp) {
      pc = inst.x;
    } else {
      break;
    }
  }
  return prefix;
}

bool Consumes(Op op) { return op == Op::kChar || op == Op::kAny || op == Op::kSet; }

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
  program.prefix = RequiredPrefix(program);
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
  size_t* Add(uint32_t pc, uint32_t parent) {
    sparse_[pc] = static_cast<uint32_t>(size_);
    dense_[size_] = pc;
    parent_[size_] = parent;
    return Slots(size_++);
  }
  void Clear() { size_ = 0; }
  size_t Size() const { return size_; }
  uint32_t Pc(size_t i) const { return dense_[i]; }
  uint32_t Parent(size_t i) const { return parent_[i]; }
  size_t* Slots(size_t i) { return &slots_[i * slotCount_]; }
  const size_t* Slots(size_t i) const { return &slots_[i * slotCount_]; }

 private:
  size_t slotCount_;
  size_t size_ = 0;
  std::vector<uint32_t> sparse_;
  std::vector<uint32_t> dense_;
  std::vector<uint32_t> parent_;
  std::vector<size_t> slots_;
};

class PikeVm {
 public:
  explicit PikeVm(const Program& program)
      : p_(program),
        lists_{ThreadList(program.insts.size(), program.slotCount),
               ThreadList(program.insts.size(), program.slotCount)},
        fresh_(program.slotCount, kUnset) {}

  // The capture slots of the first match, or nothing.
  std::optional<std::vector<size_t>> Search(std::u16string_view text) {
    const std::u16string_view prefix = p_.prefix;
    ThreadList* current = &lists_[0];
    ThreadList* next = &lists_[1];
    std::optional<std::vector<size_t>> found;
    size_t pos = 0;
    for (;;) {
      if (!found) {
        if (current->Size() == 0 && !prefix.empty()) {
          // Nothing alive: no match can begin before the next occurrence of
          // the prefix, so go straight there.
          pos = text.find(prefix, pos);
          if (pos == std::u16string_view::npos) break;
        }
        if (prefix.empty() || (pos < text.size() && text[pos] == prefix.front())) {
          // A match starting here has the lowest priority of all.
          AddThread(*current, 0, pos, fresh_.data(), kNoParent);
        }
      }
      if (current->Size() == 0) break;
      const bool more = pos < text.size();
      const char16_t c = more ? text[pos] : 0;
      for (size_t i = 0; i < current->Size(); ++i) {
        const Inst& inst = p_.insts[current->Pc(i)];
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
            const size_t* slots = current->Slots(i);
            found.emplace(slots, slots + p_.slotCount);
            // Every thread after this one has lower priority: drop them.
            i = current->Size();
            continue;
          }
          default:  // only consuming and matching instructions become threads
            break;
        }
        if (advance) {
          AddThread(*next, current->Pc(i) + 1, pos + 1, current->Slots(i),
                    static_cast<uint32_t>(i));
        }
      }
      if (more) pos = SkipSteadyRun(*current, *next, text, pos, !found);
      std::swap(current, next);
      next->Clear();
      if (!more) break;
      ++pos;
    }
    current->Clear();
    next->Clear();
    return found;
  }

 private:
  void AddThread(ThreadList& list, uint32_t pc, size_t pos, const size_t* slots,
                 uint32_t parent) const {
    for (const ClosureEntry& e : p_.closures[pc]) {
      if (list.Contains(e.target)) continue;
      size_t* to = list.Add(e.target, parent);
      for (size_t s = 0; s < p_.slotCount; ++s) to[s] = slots[s];
      for (uint32_t k = e.savesBegin; k < e.savesEnd; ++k) to[p_.saveSlots[k]] = pos;
    }
  }

  // Long stretches of text often change nothing but positions: a lazy ".*?"
  // waiting for its closing character keeps the same threads, whose only
  // change is the capture slot saved at each step. When the step from pos
  // (to the threads in next) was such a step, every following character that
  // no thread looks at repeats it exactly, so the search jumps to the next
  // character that matters and puts the moving slots there. Returns the
  // position of the last character stepped over (pos when nothing is).
  size_t SkipSteadyRun(const ThreadList& current, ThreadList& next, std::u16string_view text,
                       size_t pos, bool startsPending) const {
    const size_t n = next.Size();
    if (n == 0 || n != current.Size()) return pos;
    char16_t wanted[4];  // the characters some thread or a new start looks at
    size_t wantedCount = 0;
    if (startsPending) {
      if (p_.prefix.empty()) return pos;
      wanted[wantedCount++] = p_.prefix.front();
    }
    for (size_t i = 0; i < n; ++i) {
      if (next.Pc(i) != current.Pc(i)) return pos;
      const Inst& inst = p_.insts[next.Pc(i)];
      if (inst.op == Op::kChar) {
        if (wantedCount == 4) return pos;
        wanted[wantedCount++] = inst.ch;
      } else if (inst.op != Op::kAny) {
        return pos;  // sets and matches are not worth the bookkeeping
      }
    }
    const auto isWanted = [&](char16_t ch) {
      for (size_t k = 0; k < wantedCount; ++k) {
        if (ch == wanted[k]) return true;
      }
      return false;
    };
    // The step just taken must have been one over an unwatched character,
    // and repeating it must reproduce every slot: saved ones move along,
    // the others are copies that no longer change.
    if (isWanted(text[pos])) return pos;
    const size_t moved = pos + 1;
    for (size_t i = 0; i < n; ++i) {
      const size_t* slots = next.Slots(i);
      const size_t* from = next.Slots(next.Parent(i));
      for (size_t s = 0; s < p_.slotCount; ++s) {
        if (slots[s] != moved && slots[s] != from[s]) return pos;
      }
    }
    size_t q = moved;
    while (q < text.size() && !isWanted(text[q])) ++q;
    if (q == moved) return pos;
    for (size_t i = 0; i < n; ++i) {
      size_t* slots = next.Slots(i);
      for (size_t s = 0; s < p_.slotCount; ++s) {
        if (slots[s] == moved) slots[s] = q;
      }
    }
    return q - 1;
  }

  const Program& p_;
  ThreadList lists_[2];
  std::vector<size_t> fresh_;
};

}  // namespace

struct TRegExpr::Impl {
  std::u16string expression;
  std::optional<Program> program;                     // compiled at the first search
  std::vector<std::optional<std::u16string>> groups;  // of the current match
};

TRegExpr::TRegExpr() : impl_(std::make_unique<Impl>()) {}
TRegExpr::~TRegExpr() = default;

void TRegExpr::SetExpression(std::u16string_view pattern) {
  impl_->expression = pattern;
  impl_->program.reset();
  impl_->groups.clear();
}

bool TRegExpr::Exec(std::u16string_view text) {
  impl_->groups.clear();
  if (!impl_->program) impl_->program = Compile(impl_->expression);
  PikeVm vm(*impl_->program);
  const auto slots = vm.Search(text);
  if (!slots) return false;
  // The groups are copied out so that the match outlives the searched text.
  for (size_t g = 0; g + 1 < slots->size(); g += 2) {
    const size_t begin = (*slots)[g];
    const size_t end = (*slots)[g + 1];
    if (begin == kUnset || end == kUnset) {
      impl_->groups.emplace_back();
    } else {
      impl_->groups.emplace_back(std::u16string(text.substr(begin, end - begin)));
    }
  }
  return true;
}

std::u16string TRegExpr::Match(int group) const {
  if (group < 0 || static_cast<size_t>(group) >= impl_->groups.size()) return {};
  const auto& text = impl_->groups[static_cast<size_t>(group)];
  return text ? *text : std::u16string();
}

std::u16string TRegExpr::Substitute(std::u16string_view templ) const {
  std::u16string result;
  for (size_t i = 0; i < templ.size(); ++i) {
    if (templ[i] == u'$' && i + 1 < templ.size() && templ[i + 1] >= u'0' && templ[i + 1] <= u'9') {
      result += Match(templ[i + 1] - u'0');
      ++i;
    } else {
      result.push_back(templ[i]);
    }
  }
  return result;
}

}  // namespace picrelink
