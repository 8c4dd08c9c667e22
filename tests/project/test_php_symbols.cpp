#include "project/php_resolve.h"
#include "project/php_symbols.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <sstream>

namespace {

// "kind name line" per declaration, in file order; members carry flags
// (s static, a abstract, p private, r protected) and a type after ':' when one is known.
std::string describe(std::string_view source)
{
    const PhpFileSymbols syms = ExtractPhpSymbols(source);
    std::ostringstream out;
    for (const PhpSymbol &s : syms.symbols) {
        out << PhpSymbolKindName(s.kind) << ' ' << s.name << ' ' << s.line;
        std::string flags;
        if (s.flags & PhpFlag::Static)
            flags += 's';
        if (s.flags & PhpFlag::Abstract)
            flags += 'a';
        if (s.flags & PhpFlag::Private)
            flags += 'p';
        if (s.flags & PhpFlag::Protected)
            flags += 'r';
        if (!flags.empty())
            out << ' ' << flags;
        if (!s.type.empty())
            out << " :" << s.type;
        for (const auto *list : {&s.extends, &s.implements, &s.uses})
            for (const std::string &p : *list)
                out << " <" << p;
        out << '\n';
    }
    return out.str();
}

struct DeclarationCase {
    const char *what;
    const char *source;
    const char *expected;
};

const DeclarationCase DeclarationCases[] = {
    {"namespace, class hierarchy resolved through imports",
     "<?php\nnamespace App\\Models;\nuse Base\\Model as M, Contracts\\{Jsonable, Arrayable};\n"
     "abstract class User extends M implements Jsonable, \\Countable {\n  use HasName;\n}\n",
     "namespace App\\Models 2\nclass App\\Models\\User 4 a <Base\\Model <Contracts\\Jsonable "
     "<Countable "
     "<App\\Models\\HasName\n"},
    {"members with visibility, static, abstract and types",
     "<?php\ninterface I extends A, B { public function f(): ?Foo; }\nclass C {\n"
     "  private static ?int $count = 0, $other = [1, 2];\n  protected const X = 1, Y = 'a;b';\n"
     "  final public static function make(): static { return new static; }\n"
     "  abstract protected function g(self $x);\n  var $legacy;\n}\n",
     "interface I 2 <A <B\nmethod f 2 a :Foo\nclass C 3\nproperty count 4 sp\nproperty other 4 sp\n"
     "classconst X 5 r\nclassconst Y 5 r\nmethod make 6 s :static\nmethod g 7 ar\nproperty legacy "
     "8\n"},
    {"promoted constructor properties and doc types",
     "<?php\nclass P {\n  /** @var \\Db\\Conn */\n  public $db;\n"
     "  public function __construct(private readonly Logger $log, int $plain, protected $x = null) "
     "{}\n"
     "  /** @return Item[] */\n  function items() {}\n  /** @return Item|null */\n  function one() "
     "{}\n}\n",
     "class P 2\nproperty db 4 :Db\\Conn\nmethod __construct 5\nproperty log 5 p :Logger\nproperty "
     "x 5 r\n"
     "method items 7\nmethod one 9 :Item\n"},
    {"enum with cases, trait, global constants and define",
     "<?php\nenum Suit: string implements HasLabel { case Hearts = 'H'; case Spades = 'S';\n"
     "  const Wild = self::Spades; public function label(): string { switch ($this) { case "
     "self::Hearts: return 'h'; } } }\n"
     "trait T { public $t; }\nconst A = 1, B = A + 1;\ndefine('WP_DEBUG', false); "
     "\\define(\"X\\\\Y\", 1);\n",
     "enum Suit 2 <HasLabel\ncase Hearts 2\ncase Spades 2\nclassconst Wild 3\nmethod label "
     "3\ntrait T 4\n"
     "property t 4\nconst A 5\nconst B 5\nconst WP_DEBUG 6\nconst X\\Y 6\n"},
    {"conditional and nested functions are functions, closures and arrow functions are not",
     "<?php\nif (!function_exists('wp_a')) {\n  function wp_a() { $f = function () use ($x) { "
     "return 1; };\n"
     "    function inner() {} $g = fn($y) => $y; }\n}\nfunction &ref() {}\n",
     "function wp_a 3\nfunction inner 4\nfunction ref 6\n"},
    {"strings, heredoc, nowdoc, comments and HTML hide look-alikes",
     "<html><?php function fake1() {} ?>\n<p>function no() {}</p>\n<?php\n"
     "$s = \"class No1 {$a[\"}\"]} ${b} function no2()\"; $t = 'class No3';\n"
     "$h = <<<EOT\n  class No4 {$x->y}\n  EOT;\n$n = <<<'N'\nfunction no5() {}\nN;\n"
     "// ?> function html_text() {}\n<?php # class No6\n/* class No7 */ function after() {}\n",
     "function fake1 1\nfunction after 13\n"},
    {"attributes, ::class and anonymous classes declare nothing",
     "<?php\n#[Attr(Foo::class, new Bar())]\nclass K {\n  #[Inject] private $dep;\n"
     "  function m() { return new class extends Base { public $hidden; function hidden() {} }; }\n"
     "  function n() { return K::class; }\n}\n",
     "class K 3\nproperty dep 4 p\nmethod m 5\nmethod n 6\n"},
    {"keywords as member names and case-insensitive keywords",
     "<?php\nCLASS Upper { PUBLIC FUNCTION list() {} public function new() {} const CLASS_NAME = "
     "1; }\n",
     "class Upper 2\nmethod list 2\nmethod new 2\nclassconst CLASS_NAME 2\n"},
    {"a syntax error keeps the declarations around it",
     "<?php\nclass Broken {\n  function ok() { if ( }\n  function later() {}\n\nfunction "
     "global_after() {}\n",
     "class Broken 2\nmethod ok 3\nmethod later 4\nmethod global_after 6\n"},
    {"braced namespaces, the global one included",
     "<?php\nnamespace A { function f() {} }\nnamespace { function g() {} class H {} }\n",
     "namespace A 2\nfunction A\\f 2\nfunction g 3\nclass H 3\n"},
};

class Declarations : public ::testing::TestWithParam<DeclarationCase> {};

TEST_P(Declarations, AreFoundWithLinesFlagsAndTypes)
{
    EXPECT_EQ(describe(GetParam().source), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(PhpSymbols, Declarations, ::testing::ValuesIn(DeclarationCases));

TEST(PhpSymbols, SignaturesDocsAndPositionsSuitTheLists)
{
    const std::string_view source =
        "<?php\nclass A {\n    /**\n     * Finds one.\n     */\n    public function find(int $id,\n"
        "        ?string $name = null): ?self { }\n}\n";
    const PhpFileSymbols syms = ExtractPhpSymbols(source);
    ASSERT_EQ(syms.symbols.size(), 2u);
    const PhpSymbol &m = syms.symbols[1];
    EXPECT_EQ(m.signature, "find(int $id, ?string $name = null): ?self");
    EXPECT_EQ(PhpDocText(source, m), "Finds one.");
    EXPECT_EQ(m.type, "A");
    EXPECT_EQ(m.line, 6u);
    EXPECT_EQ(m.column, 20u);
    EXPECT_EQ(m.endLine, 7u);
    EXPECT_EQ(syms.symbols[0].endLine, 8u);
}

// A small project: each case puts the caret on the first occurrence of
// `needle` in `file` (at the `^` inside the needle, which is removed) and
// expects "file:line" of every target, or nothing.
struct ResolveCase {
    const char *what;
    const char *file;
    const char *needle;
    const char *expected;
};

const char *const ProjectFiles[][2] = {
    {"lib/Base.php", "<?php\nnamespace Lib;\n\nabstract class Base {\n"
                     "    const KIND = 'base';\n"                             // 5
                     "    protected static $count;\n"                         // 6
                     "    public function save(): static { return $this; }\n" // 7
                     "    public function helper() {}\n"                      // 8
                     "}\n"},
    {"lib/Traits.php",
     "<?php\nnamespace Lib;\ntrait Named {\n    public function name(): string {}\n}\n"
     "interface Shape {\n    public function area(): float;\n}\n"},
    {"lib/User.php", "<?php\nnamespace Lib;\nuse Lib\\Db\\Conn as Connection;\n\n"
                     "class User extends Base implements Shape {\n"                            // 5
                     "    use Named;\n"                                                        // 6
                     "    /** @var Connection */\n"                                            // 7
                     "    private $db;\n"                                                      // 8
                     "    public function area(): float { return 0; }\n"                       // 9
                     "    public function conn(): Connection { return $this->db; }\n"          // 10
                     "    public function helper() { parent::helper(); return self::KIND; }\n" // 11
                     "}\n"},
    {"lib/Db/Conn.php",
     "<?php\nnamespace Lib\\Db;\nclass Conn {\n    public function query($sql) {}\n}\n"
     "function connect(): Conn {}\nconst TIMEOUT = 5;\n"},
    {"wp.php",
     "<?php\nfunction wp_helper() {}\ndefine('WP_FLAG', 1);\nclass WP_Post { public $ID; }\n"},
    {"app/use.php",
     "<?php\nnamespace App;\n\nuse Lib\\User;\nuse Lib\\Db\\Conn;\nuse function Lib\\Db\\connect;\n"
     "use const Lib\\Db\\TIMEOUT;\n\n"
     "function run(User $user, \\WP_Post $post, $other) {\n"     // 9
     "    $u = new User();\n"                                    // 10
     "    $u->save()->name();\n"                                 // 11
     "    $user->conn()->query('x');\n"                          // 12
     "    $c = connect();\n"                                     // 13
     "    $c->query(TIMEOUT);\n"                                 // 14
     "    /** @var Conn $d */\n"                                 // 15
     "    $d = make();\n"                                        // 16
     "    $d->query(WP_FLAG);\n"                                 // 17
     "    $other->query();\n"                                    // 18
     "    wp_helper(); strlen('x'); $post->ID;\n"                // 19
     "    $u?->area(); User::KIND; $x = (new Conn)->query(1);\n" // 20
     "}\n"},
};

const ResolveCase ResolveCases[] = {
    {"imported class after new", "app/use.php", "new Us^er", "lib/User.php:5"},
    {"use statement names its class", "app/use.php", "use Lib\\Us^er", "lib/User.php:5"},
    {"use function names the function", "app/use.php", "use function Lib\\Db\\con^nect",
     "lib/Db/Conn.php:6"},
    {"type hint of a parameter", "app/use.php", "run(Us^er", "lib/User.php:5"},
    {"global class, fully qualified", "app/use.php", "\\WP_P^ost", "wp.php:4"},
    {"method inherited, found on the parent", "app/use.php", "$u->sa^ve", "lib/Base.php:7"},
    {"method of a trait through a static return type", "app/use.php", "->na^me()",
     "lib/Traits.php:4"},
    {"typed parameter, then a return type", "app/use.php", "->conn()->qu^ery", "lib/Db/Conn.php:4"},
    {"imported function's return type", "app/use.php", "$c->qu^ery", "lib/Db/Conn.php:4"},
    {"imported constant", "app/use.php", "query(TIME^OUT", "lib/Db/Conn.php:7"},
    {"inline @var", "app/use.php", "$d->que^ry", "lib/Db/Conn.php:4"},
    {"define()d constant, global fallback", "app/use.php", "WP_F^LAG", "wp.php:3"},
    {"unknown receiver is not guessed", "app/use.php", "$other->qu^ery", ""},
    {"global function from a namespace", "app/use.php", "wp_hel^per", "wp.php:2"},
    {"internal function is not in the project", "app/use.php", "strl^en", ""},
    {"property of a typed parameter", "app/use.php", "$post->I^D", "wp.php:4"},
    {"nullsafe call on an implemented interface method", "app/use.php", "?->ar^ea",
     "lib/User.php:9"},
    {"class constant through the parent", "app/use.php", "User::KI^ND", "lib/Base.php:5"},
    {"parenthesised new", "app/use.php", "(new Conn)->que^ry", "lib/Db/Conn.php:4"},
    {"extends names the parent", "lib/User.php", "extends Ba^se", "lib/Base.php:4"},
    {"implements names the interface", "lib/User.php", "implements Sha^pe", "lib/Traits.php:6"},
    {"aliased import in a type", "lib/User.php", "conn(): Connect^ion", "lib/Db/Conn.php:3"},
    {"$this->property typed by @var", "lib/User.php", "$this->d^b", "lib/User.php:8"},
    {"parent:: goes to the parent's method", "lib/User.php", "parent::hel^per", "lib/Base.php:8"},
    {"self:: constant inherited", "lib/User.php", "self::KI^ND", "lib/Base.php:5"},
    {"$this is the class", "lib/User.php", "return $th^is->db", "lib/User.php:5"},
};

class Resolution : public ::testing::TestWithParam<ResolveCase> {
protected:
    static void SetUpTestSuite()
    {
        s_index = new SymbolIndex;
        for (const auto &[path, source] : ProjectFiles)
            s_index->updateFromSource(QString::fromUtf8(path), source);
    }
    static void TearDownTestSuite()
    {
        delete s_index;
        s_index = nullptr;
    }
    static SymbolIndex *s_index;
};
SymbolIndex *Resolution::s_index = nullptr;

TEST_P(Resolution, FindsTheDeclarationOrNothing)
{
    const ResolveCase &c = GetParam();
    std::string source;
    for (const auto &[path, text] : ProjectFiles)
        if (std::string_view(path) == c.file)
            source = text;
    std::string needle = c.needle;
    const size_t caret = needle.find('^');
    needle.erase(caret, 1);
    const size_t at = source.find(needle);
    ASSERT_NE(at, std::string::npos) << c.what;
    const PhpCodeContext context(*s_index, QString::fromUtf8(c.file), source);
    std::string got;
    for (const PhpTarget &t : context.definition(at + caret).targets)
        got += (got.empty() ? "" : " ") + t.path.toStdString() + ":" + std::to_string(t.line);
    EXPECT_EQ(got, c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(PhpSymbols, Resolution, ::testing::ValuesIn(ResolveCases));

// The caret as in ResolveCases; every use in the project as "file:line" in
// the order of ProjectFiles, then the possible ones marked with '?'.
const ResolveCase ReferenceCases[] = {
    {"a method is not every name alike: the declaration, the typed call, the unknown receiver",
     "lib/Db/Conn.php", "function que^ry",
     "lib/Db/Conn.php:4 app/use.php:12 app/use.php:14 app/use.php:17 app/use.php:20 "
     "app/use.php:18?"},
    {"from a use, inherited calls and parent:: included, the override left out", "app/use.php",
     "$u->sa^ve", "lib/Base.php:7 app/use.php:11"},
    {"an overriding method's own uses", "lib/User.php", "public function hel^per",
     "lib/User.php:11"},
    {"the parent's method through parent::", "lib/User.php", "parent::hel^per",
     "lib/Base.php:8 lib/User.php:11"},
    {"a class through imports, aliases, hints and extends", "lib/Db/Conn.php", "class Co^nn",
     "lib/User.php:3 lib/User.php:10 lib/Db/Conn.php:3 lib/Db/Conn.php:6 app/use.php:5 "
     "app/use.php:20"},
    {"a property from its declaration", "lib/User.php", "private $d^b",
     "lib/User.php:8 lib/User.php:10"},
    {"a constant through self:: and a subclass", "lib/Base.php", "const KI^ND",
     "lib/Base.php:5 lib/User.php:11 app/use.php:20"},
    {"a function used through `use function`", "lib/Db/Conn.php", "function con^nect",
     "lib/Db/Conn.php:6 app/use.php:6 app/use.php:13"},
    {"no declaration: nothing", "app/use.php", "strl^en", ""},
};

TEST_F(Resolution, ReferencesAreTheUsesThatResolveToTheDeclaration)
{
    for (const ResolveCase &c : ReferenceCases) {
        std::string source;
        for (const auto &[path, text] : ProjectFiles)
            if (std::string_view(path) == c.file)
                source = text;
        std::string needle = c.needle;
        const size_t caret = needle.find('^');
        needle.erase(caret, 1);
        const size_t at = source.find(needle);
        ASSERT_NE(at, std::string::npos) << c.what;
        const auto decls = PhpCodeContext(*s_index, QString::fromUtf8(c.file), source)
                               .declarationAt(at + caret)
                               .targets;
        std::vector<std::string> sure, possible;
        for (const auto &[path, text] : ProjectFiles)
            for (const PhpCodeContext::Use &use :
                 PhpCodeContext(*s_index, QString::fromUtf8(path), text).usesOf(decls)) {
                const std::string place = std::string(path) + ":" + std::to_string(use.line);
                (use.possible ? possible : sure).push_back(use.possible ? place + "?" : place);
            }
        std::string got;
        for (const auto *list : {&sure, &possible})
            for (const std::string &p : *list)
                got += (got.empty() ? "" : " ") + p;
        EXPECT_EQ(got, c.expected) << c.what;
    }
}

TEST(SymbolIndex, ReplacingAndRemovingAFileDropsItsOldNames)
{
    SymbolIndex index;
    index.updateFromSource(QStringLiteral("a.php"), "<?php class Old {} function f() {}");
    index.updateFromSource(QStringLiteral("b.php"), "<?php class Old {}");
    EXPECT_EQ(index.classes("old").size(), 2u);
    index.updateFromSource(QStringLiteral("a.php"), "<?php class NewOne {}");
    EXPECT_EQ(index.classes("Old").size(), 1u);
    EXPECT_TRUE(index.functions("f").empty());
    EXPECT_EQ(index.classes("NEWONE").size(), 1u);
    index.removeFile(QStringLiteral("b.php"));
    EXPECT_TRUE(index.classes("Old").empty());
    EXPECT_EQ(index.symbolCount(), 1u);
}

TEST(SymbolIndex, BuildsFromFilesOnSeveralThreadsAndSkipsUnreadableOnes)
{
    QTemporaryDir dir;
    QStringList paths;
    for (int k = 0; k < 40; ++k) {
        const QString path = dir.filePath(QStringLiteral("f%1.php").arg(k));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("<?php\nclass C%1 { function m%1() {} }\n").arg(k).toUtf8());
        paths << path;
    }
    paths << dir.filePath(QStringLiteral("missing.php"));
    std::atomic<int> done{0};
    const auto index = SymbolIndex::Build(paths, 3, &done);
    EXPECT_EQ(done.load(), 41);
    EXPECT_EQ(index->fileCount(), 40);
    EXPECT_EQ(index->symbolCount(), 80u);
    const auto m = index->findMember("C7", "M7", SymbolIndex::MemberKind::Method);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m.front().file->path, dir.filePath(QStringLiteral("f7.php")));
}

} // namespace
