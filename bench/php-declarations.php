<?php
// php-declarations.php - the declaration oracle: PHP's own tokenizer lists
// every declaration of the given files (one path per line on stdin) as
//   path TAB kind TAB name TAB line
// with the kinds and naming of the symbol index (classes, functions and
// constants qualified by their namespace; members by their short name).
// Members of anonymous classes are not listed: they have no name to find.
declare(strict_types=1);

function declarations(string $code): array
{
    try {
        $tokens = token_get_all($code, TOKEN_PARSE);
    } catch (Throwable $e) {
        $tokens = token_get_all($code);
    }
    $sig = [];
    foreach ($tokens as $t) {
        if (is_array($t) && in_array($t[0], [T_WHITESPACE, T_COMMENT, T_DOC_COMMENT, T_INLINE_HTML, T_OPEN_TAG], true)) {
            continue;
        }
        $sig[] = $t;
    }
    $out = [];
    $ns = '';
    $braces = [];      // per open brace: ['kind' => class|enum|anon|other, 'parens' => int]
    $pending = 'other';
    $parens = 0;
    $n = count($sig);
    $text = fn($t) => is_array($t) ? $t[1] : $t;
    $id = fn($t) => is_array($t) ? $t[0] : null;
    $line = fn($t) => is_array($t) ? $t[2] : 0;
    $q = function ($name) use (&$ns) { return $ns === '' ? $name : "$ns\\$name"; };
    for ($i = 0; $i < $n; $i++) {
        $t = $sig[$i];
        $prev = $i > 0 ? $sig[$i - 1] : null;
        $top = $braces ? $braces[count($braces) - 1] : null;
        $inClass = $top && in_array($top['kind'], ['class', 'enum', 'anon'], true) && $parens === $top['parens'];
        if ($t === '{' || $id($t) === T_CURLY_OPEN || $id($t) === T_DOLLAR_OPEN_CURLY_BRACES) {
            $braces[] = ['kind' => $t === '{' ? $pending : 'other', 'parens' => $parens];
            $pending = 'other';
            continue;
        }
        if ($t === '}') {
            array_pop($braces);
            continue;
        }
        if ($t === '(') { $parens++; continue; }
        if ($t === ')') { $parens--; continue; }
        if ($t === ';') { $pending = 'other'; continue; }
        if ($id($t) === T_ATTRIBUTE) {
            for ($d = 1; $d > 0 && $i + 1 < $n; ) {
                $i++;
                if ($sig[$i] === '[' || $id($sig[$i]) === T_ATTRIBUTE) $d++;
                if ($sig[$i] === ']') $d--;
            }
            continue;
        }
        $afterAccess = in_array($id($prev), [T_DOUBLE_COLON, T_OBJECT_OPERATOR, T_NULLSAFE_OBJECT_OPERATOR], true);
        switch ($id($t)) {
        case T_NAMESPACE:
            if (!$braces && isset($sig[$i + 1]) && in_array($id($sig[$i + 1]), [T_STRING, T_NAME_QUALIFIED], true)) {
                $ns = $text($sig[$i + 1]);
                $out[] = ['namespace', $ns, $line($sig[$i + 1])];
            } elseif (!$braces && ($sig[$i + 1] ?? null) === '{') {
                $ns = '';
            }
            break;
        case T_CLASS: case T_INTERFACE: case T_TRAIT: case T_ENUM:
            if ($afterAccess) break;
            if ($id($prev) === T_NEW) { $pending = 'anon'; break; }
            $nameTok = $sig[$i + 1] ?? null;
            if ($id($nameTok) !== T_STRING) break;
            $kind = [T_CLASS => 'class', T_INTERFACE => 'interface', T_TRAIT => 'trait', T_ENUM => 'enum'][$id($t)];
            $out[] = [$kind, $q($text($nameTok)), $line($nameTok)];
            $pending = $kind === 'enum' ? 'enum' : 'class';
            break;
        case T_FUNCTION:
            if ($afterAccess) break;
            $j = $i + 1;
            if (($sig[$j] ?? null) === '&' || $id($sig[$j] ?? null) === T_AMPERSAND_NOT_FOLLOWED_BY_VAR_OR_VARARG) $j++;
            $nameTok = $sig[$j] ?? null;
            if ($id($nameTok) !== T_STRING || ($sig[$j + 1] ?? null) !== '(') break;
            if ($inClass) {
                if ($top['kind'] === 'anon') break;
                $out[] = ['method', $text($nameTok), $line($nameTok)];
                if (strtolower($text($nameTok)) === '__construct') {
                    // promoted properties: a modifier before the parameter
                    $d = 0; $mod = false;
                    for ($k = $j + 1; $k < $n; $k++) {
                        $s = $sig[$k];
                        if ($s === '(' || $s === '[') $d++;
                        if ($s === ')' || $s === ']') { $d--; if ($d === 0) break; }
                        if ($d !== 1) continue;
                        if ($s === ',') $mod = false;
                        if (in_array($id($s), [T_PUBLIC, T_PROTECTED, T_PRIVATE, T_READONLY], true)) $mod = true;
                        if ($mod && $id($s) === T_VARIABLE) {
                            $out[] = ['property', substr($text($s), 1), $line($s)];
                            $mod = false;
                        }
                    }
                }
            } else {
                $out[] = ['function', $q($text($nameTok)), $line($nameTok)];
            }
            break;
        case T_VARIABLE:
            if ($inClass && $top['kind'] !== 'anon') {
                $out[] = ['property', substr($text($t), 1), $line($t)];
                // skip the default value up to , or ; at this depth
                $d = 0;
                for ($k = $i + 1; $k < $n; $k++) {
                    $s = $sig[$k];
                    if ($s === '(' || $s === '[') $d++;
                    if ($s === ')' || $s === ']') $d--;
                    if ($d === 0 && ($s === ',' || $s === ';')) break;
                }
                $i = $k - 1;
            }
            break;
        case T_CONST:
            if ($afterAccess) break;
            $inTop = !$braces;
            if (!$inClass && !$inTop) break;
            if ($inClass && $top['kind'] === 'anon') break;
            for ($k = $i + 1; $k < $n && $sig[$k] !== ';'; $k++) {
                if ($sig[$k] === '=' && $id($sig[$k - 1]) === T_STRING) {
                    $name = $text($sig[$k - 1]);
                    $out[] = $inClass ? ['classconst', $name, $line($sig[$k - 1])] : ['const', $q($name), $line($sig[$k - 1])];
                    $d = 0;
                    for ($k++; $k < $n; $k++) {
                        $s = $sig[$k];
                        if ($s === '(' || $s === '[') $d++;
                        if ($s === ')' || $s === ']') $d--;
                        if ($d === 0 && ($s === ',' || $s === ';')) break;
                    }
                    if ($sig[$k] === ';') break;
                }
            }
            $i = $k - 1;
            break;
        case T_CASE:
            if ($inClass && $top['kind'] === 'enum' && $id($sig[$i + 1] ?? null) === T_STRING) {
                $out[] = ['case', $text($sig[$i + 1]), $line($sig[$i + 1])];
            }
            break;
        case T_STRING: case T_NAME_FULLY_QUALIFIED:
            $w = strtolower(ltrim($text($t), '\\'));
            if ($w === 'define' && !$afterAccess && !in_array($id($prev), [T_FUNCTION, T_NEW, T_CONST], true)
                && ($sig[$i + 1] ?? null) === '(' && $id($sig[$i + 2] ?? null) === T_CONSTANT_ENCAPSED_STRING
                && ($sig[$i + 3] ?? null) === ',') {
                $name = ltrim((string)eval('return ' . $text($sig[$i + 2]) . ';'), '\\');
                if ($name !== '') $out[] = ['const', $name, $line($sig[$i + 2])];
            }
            break;
        }
    }
    return $out;
}

if (realpath($argv[0] ?? '') === __FILE__) {
    while (($path = fgets(STDIN)) !== false) {
        $path = rtrim($path, "\r\n");
        $code = @file_get_contents($path);
        if ($code === false) continue;
        foreach (declarations($code) as [$kind, $name, $line]) {
            echo "$path\t$kind\t$name\t$line\n";
        }
    }
}
