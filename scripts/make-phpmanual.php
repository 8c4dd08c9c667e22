<?php
// Writes a small local PHP manual from the running PHP's own reflection: one
// page per internal function, named "function." + the name with "_" written
// as "-" + ".htm", giving its extension, parameters (types and defaults where
// reflection knows them) and return type.
//
// Usage: php make-phpmanual.php OUTPUT_FOLDER
// Pages of an earlier run that this PHP no longer has are removed; nothing
// else in the folder is touched.

declare(strict_types=1);

if ($argc !== 2 || $argv[1] === '') {
    fwrite(STDERR, "usage: php make-phpmanual.php OUTPUT_FOLDER\n");
    exit(2);
}
$folder = rtrim($argv[1], '/');
if (!is_dir($folder) && !mkdir($folder, 0777, true) && !is_dir($folder)) {
    fwrite(STDERR, "make-phpmanual: cannot create the folder $folder\n");
    exit(1);
}

function h(string $text): string
{
    return htmlspecialchars($text, ENT_QUOTES | ENT_SUBSTITUTE | ENT_HTML5, 'UTF-8');
}

function typeText(?ReflectionType $type): string
{
    return $type === null ? 'mixed' : (string)$type;
}

function parameterText(ReflectionParameter $p): string
{
    $text = '';
    if ($p->hasType()) {
        $text .= typeText($p->getType()) . ' ';
    }
    if ($p->isPassedByReference()) {
        $text .= '&';
    }
    if ($p->isVariadic()) {
        $text .= '...';
    }
    $text .= '$' . $p->getName();
    if ($p->isOptional() && !$p->isVariadic()) {
        $default = null;
        try {
            if ($p->isDefaultValueAvailable()) {
                $default = $p->isDefaultValueConstant()
                    ? $p->getDefaultValueConstantName()
                    : var_export($p->getDefaultValue(), true);
                if ($default === 'NULL') {
                    $default = 'null';
                }
            }
        } catch (ReflectionException $e) {
            $default = null;
        }
        $text .= $default === null ? '' : ' = ' . str_replace("\n", '', $default);
    }
    return $text;
}

function page(ReflectionFunction $f): string
{
    $name = $f->getName();
    $extension = $f->getExtensionName();
    $extension = ($extension === false || $extension === '') ? 'Core' : $extension;
    $parameters = array_map('parameterText', $f->getParameters());
    $return = $f->hasReturnType() ? typeText($f->getReturnType()) : 'mixed';
    $signature = $name . '(' . implode(', ', $parameters) . '): ' . $return;

    $rows = '';
    foreach ($f->getParameters() as $p) {
        $notes = [];
        if ($p->isOptional()) {
            $notes[] = 'optional';
        }
        if ($p->isPassedByReference()) {
            $notes[] = 'by reference';
        }
        if ($p->isVariadic()) {
            $notes[] = 'variadic';
        }
        $rows .= '   <dt><code class="parameter">$' . h($p->getName()) . "</code></dt>\n"
            . '   <dd>' . h($p->hasType() ? typeText($p->getType()) : 'mixed')
            . ($notes ? ' (' . h(implode(', ', $notes)) . ')' : '') . "</dd>\n";
    }
    if ($rows === '') {
        $rows = "   <dd>This function has no parameters.</dd>\n";
    }
    $deprecated = $f->isDeprecated() ? "  <p class=\"deprecated\">Deprecated.</p>\n" : '';

    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n <meta charset=\"utf-8\">\n"
        . ' <title>' . h($name) . "</title>\n"
        . " <style>body{font-family:sans-serif;margin:1em}code{font-family:monospace}"
        . ".methodsynopsis{background:#eef;padding:.5em}</style>\n</head>\n<body>\n"
        . ' <h1 class="refname">' . h($name) . "</h1>\n"
        . ' <p class="verinfo">(PHP ' . h(PHP_VERSION) . ', extension ' . h($extension) . ")</p>\n"
        . $deprecated
        . " <h2>Description</h2>\n"
        . ' <div class="methodsynopsis"><code>' . h($signature) . "</code></div>\n"
        . " <h2>Parameters</h2>\n <dl>\n" . $rows . " </dl>\n"
        . " <h2>Return Values</h2>\n"
        . ' <p><code>' . h($return) . "</code></p>\n"
        . "</body>\n</html>\n";
}

$names = get_defined_functions()['internal'];
sort($names, SORT_STRING);
$written = [];
foreach ($names as $name) {
    // Namespaced functions would need folders; the manual's names have none.
    if (strpbrk($name, "\\/") !== false) {
        continue;
    }
    $file = 'function.' . str_replace('_', '-', $name) . '.htm';
    $path = $folder . '/' . $file;
    $text = page(new ReflectionFunction($name));
    // Unchanged pages keep their time stamps.
    if (!is_file($path) || file_get_contents($path) !== $text) {
        if (file_put_contents($path, $text) === false) {
            fwrite(STDERR, "make-phpmanual: cannot write $path\n");
            exit(1);
        }
    }
    $written[$file] = true;
}

foreach (glob($folder . '/function.*.htm') ?: [] as $old) {
    if (!isset($written[basename($old)])) {
        unlink($old);
    }
}

echo 'make-phpmanual: ' . count($written) . " pages in $folder\n";
