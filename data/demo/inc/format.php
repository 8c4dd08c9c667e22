<?php
// Output helpers shared by the pages.

function html($text)
{
    return htmlspecialchars($text, ENT_QUOTES, 'UTF-8');
}

function price($amount)
{
    return number_format($amount, 2) . ' EUR';
}
