# Writes the debugged page of the debugger benchmarks into folder $1: a loop
# calling into another file and a 100,000-element array.
mkdir -p "$1"
cat >"$1/index.php" <<'PHP'
<?php
require __DIR__ . '/lib.php';
$total = 0;
for ($i = 0; $i < 3; $i++) {
    $total += add($i, 2);
}
$big = range(1, 100000);
$after = count($big);
echo "total $total\n";
PHP
cat >"$1/lib.php" <<'PHP'
<?php
function add($a, $b)
{
    $sum = $a + $b;
    return $sum;
}
PHP
