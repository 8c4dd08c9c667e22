#!/usr/bin/env bash
# Code navigation with real keys and a real mouse: Ctrl+click on a method
# call in one file lands on its declaration in another, Alt+Left comes back,
# Ctrl+T finds a method by abbreviation, and typing $this-> offers the
# class's members.
source "$(dirname "$0")/lib.sh"
start_display
W="$E2E_WORK/shop"
mkdir -p "$W/lib"
long=calculateTheGrandTotalOfEveryItemInTheShoppingCartIncludingTaxesAndShippingAndDiscounts
{
  printf '<?php\nrequire '"'"'lib/Cart.php'"'"';\n$cart = new Cart();\n'
  # Many lines of the call, so a click in the editor's middle lands on one.
  for _ in $(seq 40); do printf 'echo $cart->%s();\n' "$long"; done
} >"$W/index.php"
cat >"$W/lib/Cart.php" <<PHP
<?php
class Cart
{
    private \$items = [];

    public function $long()
    {
        return count(\$this->items);
    }

    public function add(\$item)
    {
        
    }
}
PHP
cat >"$W/shop.wdx" <<'XML'
<WENDLOR_Project>
   <file path="index.php" line="0" publish="True"/>
   <file path="lib\Cart.php" line="0" publish="True"/>
   <ftp host="" user="" pass="" folder=""/>
   <address address="http://127.0.0.1:8000"/>
   <DatabaseAddress address="http://127.0.0.1/pa/"/>
   <opened path="index.php"/>
</WENDLOR_Project>
XML

start_program "$W/shop.wdx"
find_windows --name "shop - Quillstone - $W/index.php" >/dev/null
sleep 1 # the index is built in the background

# Ctrl+click in the middle of the call lines.
eval "$(xdotool getwindowgeometry --shell "$MAIN_WINDOW")"
xdotool mousemove --window "$MAIN_WINDOW" $((WIDTH * 35 / 100)) $((HEIGHT * 30 / 100))
xdotool keydown ctrl click 1 keyup ctrl
sleep 0.5
find_windows --name "shop - Quillstone - $W/lib/Cart.php" >/dev/null ||
  fail "Ctrl+click did not open the declaring file"
focus_main
type_text "/*here*/"

# Back to the call, then Go to Symbol.
keys alt+Left
find_windows --name "shop - Quillstone - $W/index.php" >/dev/null ||
  fail "Alt+Left did not come back"
focus_main
keys ctrl+t
type_text "cartadd"
keys Return
find_windows --name "shop - Quillstone - $W/lib/Cart.php" >/dev/null
focus_main
# Into add()'s empty body, then $this-> offers the members.
keys Down Down End
type_text '$this->'
sleep 0.5
type_text "it"
keys Return
type_text ";"
snapshot
focus_main
keys ctrl+s
sleep 0.3
keys alt+x
wait_exit

grep -q '^    public function /\*here\*/'"$long"'()' "$W/lib/Cart.php" ||
  fail "Ctrl+click did not land on the declaration: $(sed -n 6p "$W/lib/Cart.php")"
sed -n 13p "$W/lib/Cart.php" | grep -q '^        \$this->items;$' ||
  fail "completion after \$this-> did not give \$this->items: $(sed -n 13p "$W/lib/Cart.php")"
echo "journey symbols passed"
