<?php
// php-call-sites.php - picks call sites with a known target for the Go to
// Definition check, independently of the index:
//   new X(...), f(...)        target from the declaration oracle (a name
//                              declared once in the project, resolved through
//                              the file's namespace and imports)
//   X::m(), self::/static::/parent::m(), $this->m(), $v->m() where $v = new X
//   in the same function and nowhere else assigned
//                             target from Reflection on the loaded class
//                             (classes whose files only declare; others skipped)
// Usage: php php-call-sites.php ROOT SAMPLE_PER_KIND < list-of-php-files
// Prints: path TAB line TAB column TAB kind TAB expected-path TAB expected-line
declare(strict_types=1);
require __DIR__ . '/php-declarations.php';

[$root, $perKind] = [$argv[1] ?? '.', (int)($argv[2] ?? 200)];
$files = [];
while (($p = fgets(STDIN)) !== false) {
    $files[] = realpath(rtrim($p, "\r\n")) ?: rtrim($p, "\r\n");
}

// Declarations of the whole project.
$classDecl = [];  // lower fqn => [[path, line], ...]
$funcDecl = [];
$methodLines = []; // path => lower name => [lines]
$pure = [];        // path => true when its top level only declares classes
foreach ($files as $path) {
    $code = (string)@file_get_contents($path);
    foreach (declarations($code) as [$kind, $name, $line]) {
        if (in_array($kind, ['class', 'interface', 'trait', 'enum'], true)) $classDecl[strtolower($name)][] = [$path, $line];
        if ($kind === 'function') $funcDecl[strtolower($name)][] = [$path, $line];
        if ($kind === 'method') $methodLines[$path][strtolower($name)][] = $line;
    }
    $pure[$path] = onlyDeclaresClasses($code);
}

function onlyDeclaresClasses(string $code): bool
{
    $depth = 0; $start = true;
    foreach (token_get_all($code) as $t) {
        $id = is_array($t) ? $t[0] : $t;
        if (in_array($id, [T_WHITESPACE, T_COMMENT, T_DOC_COMMENT, T_OPEN_TAG], true)) continue;
        if ($id === T_INLINE_HTML) return false;
        if ($id === '{' || $id === T_CURLY_OPEN || $id === T_DOLLAR_OPEN_CURLY_BRACES) { $depth++; continue; }
        if ($id === '}') { $depth--; if ($depth === 0) $start = true; continue; }
        if ($depth > 0) continue;
        if ($id === ';') { $start = true; continue; }
        if ($start && !in_array($id, [T_NAMESPACE, T_USE, T_DECLARE, T_CLASS, T_ABSTRACT, T_FINAL, T_READONLY,
                                      T_INTERFACE, T_TRAIT, T_ENUM, T_ATTRIBUTE], true)) return false;
        $start = false;
    }
    return true;
}

spl_autoload_register(function (string $class) use ($classDecl, $pure) {
    $decl = $classDecl[strtolower($class)] ?? [];
    if (count($decl) === 1 && $pure[$decl[0][0]]) {
        require_once $decl[0][0];
    }
});

function loadable(string $class): bool
{
    try {
        return class_exists($class) || interface_exists($class) || trait_exists($class);
    } catch (Throwable $e) {
        return false;
    }
}

// The method's declaration as the oracle lists it: file and name line.
function methodTarget(string $class, string $method, array $methodLines): ?array
{
    if (!loadable($class)) return null;
    try {
        $rc = new ReflectionClass($class);
        if (!$rc->hasMethod($method)) return null;
        $m = $rc->getMethod($method);
    } catch (Throwable $e) {
        return null;
    }
    $file = $m->getFileName();
    if ($file === false) return null;
    $lines = $methodLines[$file][strtolower($method)] ?? [];
    $best = null;
    foreach ($lines as $l) {
        if ($l >= $m->getStartLine() && $l <= $m->getEndLine()) $best = $l;
    }
    return $best === null ? null : [$file, $best];
}

$sites = [];
foreach ($files as $path) {
    $code = (string)@file_get_contents($path);
    try {
        $tokens = token_get_all($code, TOKEN_PARSE);
    } catch (Throwable $e) {
        continue;
    }
    $sig = [];
    foreach ($tokens as $t) {
        if (is_array($t) && in_array($t[0], [T_WHITESPACE, T_COMMENT, T_DOC_COMMENT, T_INLINE_HTML, T_OPEN_TAG], true)) continue;
        $sig[] = $t;
    }
    // Byte offsets of each token, for the column.
    $offsets = []; $pos = 0; $k = 0;
    foreach ($tokens as $t) {
        $text = is_array($t) ? $t[1] : $t;
        if (!(is_array($t) && in_array($t[0], [T_WHITESPACE, T_COMMENT, T_DOC_COMMENT, T_INLINE_HTML, T_OPEN_TAG], true))) $offsets[$k++] = $pos;
        $pos += strlen($text);
    }
    $column = function (int $i) use ($offsets, $code): int {
        $o = $offsets[$i];
        $ls = strrpos(substr($code, 0, $o), "\n");
        return $ls === false ? $o : $o - $ls - 1;
    };
    $ns = ''; $imports = []; $fimports = [];
    $braces = []; $pending = null; $classStack = [];
    $fnStart = null; $fnDepth = -1; $newVars = []; $assignCount = [];
    $n = count($sig);
    $id = fn($t) => is_array($t) ? $t[0] : $t;
    $text = fn($t) => is_array($t) ? $t[1] : $t;
    $resolve = function (string $name) use (&$ns, &$imports): string {
        if ($name[0] === '\\') return substr($name, 1);
        $parts = explode('\\', $name, 2);
        $first = strtolower($parts[0]);
        if (isset($imports[$first])) return $imports[$first] . (isset($parts[1]) ? '\\' . $parts[1] : '');
        return $ns === '' ? $name : "$ns\\$name";
    };
    // Variables assigned more than once in a function are not used.
    for ($i = 0; $i < $n; $i++) {
        $t = $sig[$i];
        $prev = $sig[$i - 1] ?? null;
        if ($t === '{' || $id($t) === T_CURLY_OPEN || $id($t) === T_DOLLAR_OPEN_CURLY_BRACES) {
            $braces[] = $pending;
            $pending = null;
            continue;
        }
        if ($t === '}') {
            $b = array_pop($braces);
            if (is_array($b) && $b[0] === 'function' && count($braces) === $fnDepth) { $fnDepth = -1; $newVars = []; }
            continue;
        }
        if ($t === ';') { $pending = $pending && $pending[0] === 'function' ? null : $pending; continue; }
        $enclosing = null;
        foreach (array_reverse($braces) as $b) {
            if (is_array($b) && $b[0] === 'class') { $enclosing = $b; break; }
        }
        switch ($id($t)) {
        case T_NAMESPACE:
            if (!$braces && in_array($id($sig[$i + 1] ?? null), [T_STRING, T_NAME_QUALIFIED], true)) {
                $ns = $text($sig[$i + 1]); $imports = []; $fimports = [];
            }
            break;
        case T_USE:
            if ($braces) break;
            $k = $i + 1;
            if ($id($sig[$k] ?? null) === T_FUNCTION || $id($sig[$k] ?? null) === T_CONST) break;
            // plain `use A\B [as C], ...;` only
            while ($k < $n && $sig[$k] !== ';') {
                if (in_array($id($sig[$k]), [T_STRING, T_NAME_QUALIFIED, T_NAME_FULLY_QUALIFIED], true)) {
                    $full = ltrim($text($sig[$k]), '\\');
                    $alias = substr($full, (int)strrpos('\\' . $full, '\\'));
                    if ($id($sig[$k + 1] ?? null) === T_AS) { $alias = $text($sig[$k + 2]); $k += 2; }
                    $imports[strtolower($alias)] = $full;
                }
                if ($sig[$k] === '{') { $imports = []; break; } // group uses: not sampled
                $k++;
            }
            break;
        case T_CLASS: case T_TRAIT: case T_INTERFACE: case T_ENUM:
            if (in_array($id($prev), [T_DOUBLE_COLON, T_NEW], true)) { if ($id($prev) === T_NEW) $pending = ['anon']; break; }
            if ($id($sig[$i + 1] ?? null) === T_STRING) $pending = ['class', $resolve($text($sig[$i + 1])), $id($t) === T_CLASS];
            break;
        case T_FUNCTION:
            if ($fnDepth < 0) {
                $pending = ['function']; $fnDepth = count($braces); $newVars = []; $assignCount = countAssignments($sig, $i);
                $method = $id($sig[$i + 1] ?? null) === T_STRING ? $text($sig[$i + 1]) : null;
            }
            break;
        case T_NEW:
            $nameTok = $sig[$i + 1] ?? null;
            if (in_array($id($nameTok), [T_STRING, T_NAME_QUALIFIED, T_NAME_FULLY_QUALIFIED], true)) {
                $fqn = $resolve($text($nameTok));
                $decl = $classDecl[strtolower($fqn)] ?? [];
                if (count($decl) === 1) $sites['new'][] = [$path, $nameTok[2], $column($i + 1), $decl[0][0], $decl[0][1]];
                if ($id($prev) === '=' && $id($sig[$i - 2] ?? null) === T_VARIABLE && $fnDepth >= 0
                    && ($assignCount[$text($sig[$i - 2])] ?? 0) === 1) {
                    $newVars[$text($sig[$i - 2])] = $fqn;
                }
            }
            break;
        case T_STRING: case T_NAME_QUALIFIED: case T_NAME_FULLY_QUALIFIED:
            $next = $sig[$i + 1] ?? null;
            if ($next !== '(') break;
            if (in_array($id($prev), [T_FUNCTION, T_NEW, T_OBJECT_OPERATOR, T_NULLSAFE_OBJECT_OPERATOR, T_DOUBLE_COLON, '&'], true)) {
                if ($id($prev) === T_OBJECT_OPERATOR) {
                    $recv = $sig[$i - 2] ?? null;
                    if ($id($recv) === T_STRING && $id($sig[$i - 3] ?? null) === T_OBJECT_OPERATOR && $text($sig[$i - 4] ?? null) === '$this'
                        && $id($sig[$i - 5] ?? null) !== T_DOUBLE_COLON && $enclosing && $enclosing[2]) {
                        // $this->property->method(): the property's declared class
                        $cls = propertyClass($enclosing[1], $text($recv));
                        $target = $cls ? methodTarget($cls, $text($t), $methodLines) : null;
                        if ($target) $sites['property'][] = [$path, $t[2], $column($i), $target[0], $target[1]];
                        break;
                    }
                    if ($id($recv) !== T_VARIABLE || $id($sig[$i - 3] ?? null) === T_DOUBLE_COLON || $id($sig[$i - 3] ?? null) === T_OBJECT_OPERATOR) break;
                    $cls = null; $kind = null;
                    if ($text($recv) === '$this' && $enclosing && $enclosing[2]) { $cls = $enclosing[1]; $kind = 'this'; }
                    elseif (isset($newVars[$text($recv)])) { $cls = $newVars[$text($recv)]; $kind = 'var'; }
                    elseif ($enclosing && $enclosing[2] && $method && ($assignCount[$text($recv)] ?? 0) === 1) {
                        $cls = paramClass($enclosing[1], $method, substr($text($recv), 1)); $kind = 'param';
                    }
                    if ($cls === null) break;
                    $target = methodTarget($cls, $text($t), $methodLines);
                    if ($target) $sites[$kind][] = [$path, $t[2], $column($i), $target[0], $target[1]];
                } elseif ($id($prev) === T_DOUBLE_COLON) {
                    $left = $sig[$i - 2] ?? null;
                    if (!in_array($id($left), [T_STRING, T_NAME_QUALIFIED, T_NAME_FULLY_QUALIFIED, T_STATIC], true)) break;
                    $w = strtolower($text($left));
                    if ($w === 'self' || $w === 'static') { if (!$enclosing || !$enclosing[2]) break; $cls = $enclosing[1]; $kind = 'self'; }
                    elseif ($w === 'parent') {
                        if (!$enclosing || !$enclosing[2] || !loadable($enclosing[1])) break;
                        $p = (new ReflectionClass($enclosing[1]))->getParentClass();
                        if (!$p) break;
                        $cls = $p->getName(); $kind = 'parent';
                    } else { $cls = $resolve($text($left)); $kind = 'static'; }
                    $target = methodTarget($cls, $text($t), $methodLines);
                    if ($target) $sites[$kind][] = [$path, $t[2], $column($i), $target[0], $target[1]];
                }
                break;
            }
            $name = $text($t);
            if ($name[0] === '\\') $cands = [substr($name, 1)];
            elseif (strpos($name, '\\') !== false) $cands = [$resolve($name)];
            else $cands = $ns === '' ? [$name] : ["$ns\\$name", $name];
            foreach ($cands as $c) {
                $decl = $funcDecl[strtolower($c)] ?? [];
                if ($decl) {
                    if (count($decl) === 1 && !function_exists($c)) $sites['function'][] = [$path, $t[2], $column($i), $decl[0][0], $decl[0][1]];
                    break;
                }
            }
            break;
        }
    }
}

function namedClass(?ReflectionType $type): ?string
{
    return $type instanceof ReflectionNamedType && !$type->isBuiltin() ? $type->getName() : null;
}

function propertyClass(string $class, string $property): ?string
{
    try {
        return loadable($class) ? namedClass((new ReflectionProperty($class, $property))->getType()) : null;
    } catch (Throwable $e) {
        return null;
    }
}

function paramClass(string $class, string $method, string $param): ?string
{
    try {
        if (!loadable($class)) return null;
        foreach ((new ReflectionMethod($class, $method))->getParameters() as $p) {
            if ($p->getName() === $param) {
                $name = namedClass($p->getType());
                return in_array(strtolower((string)$name), ['self', 'static'], true) ? null : $name;
            }
        }
    } catch (Throwable $e) {
    }
    return null;
}

function countAssignments(array $sig, int $from): array
{
    // Assignments per variable in the function starting at $from.
    $counts = []; $depth = 0; $started = false;
    for ($k = $from; $k < count($sig); $k++) {
        $t = $sig[$k];
        if ($t === '{') { $depth++; $started = true; }
        if ($t === '}') { $depth--; if ($started && $depth === 0) break; }
        if (is_array($t) && $t[0] === T_VARIABLE) {
            $next = $sig[$k + 1] ?? null;
            $assign = $next === '=' || (is_array($next) && in_array($next[0], [T_CONCAT_EQUAL, T_PLUS_EQUAL, T_COALESCE_EQUAL], true));
            $prev = $sig[$k - 1] ?? null;
            if ($assign || (is_array($prev) && in_array($prev[0], [T_AS, T_DOUBLE_ARROW, T_GLOBAL, T_STATIC], true)) || $prev === '&' || $prev === '(' || $prev === ',') {
                $counts[$t[1]] = ($counts[$t[1]] ?? 0) + 1;
            }
        }
    }
    return $counts;
}

mt_srand(26);
ksort($sites);
foreach ($sites as $kind => $list) {
    $list = array_values(array_unique(array_map('json_encode', $list)));
    $pick = count($list) <= $perKind ? array_keys($list) : (array) array_rand($list, $perKind);
    foreach ($pick as $k) {
        [$path, $line, $col, $tp, $tl] = json_decode($list[$k]);
        echo "$path\t$line\t$col\t$kind\t$tp\t$tl\n";
    }
    fprintf(STDERR, "%s: %d sites, %d sampled\n", $kind, count($list), count($pick));
}
