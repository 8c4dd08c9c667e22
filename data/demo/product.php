<?php
// One product's page.
require_once __DIR__ . '/inc/catalogue.php';
require_once __DIR__ . '/inc/format.php';

$id = isset($_GET['id']) ? (int)$_GET['id'] : 0;
$product = catalogue_find($id);
if ($product === null) {
    http_response_code(404);
    echo '<p>No such product.</p>';
    return;
}
?>
<h1><?= html($product['name']) ?></h1>
<p><?= price($product['price']) ?></p>
<p><a href="index.php">Back to the list</a></p>
