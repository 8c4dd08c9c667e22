<?php
// The demo site's front page: a list of products from a small catalogue.
require_once __DIR__ . '/inc/catalogue.php';
require_once __DIR__ . '/inc/format.php';

$products = catalogue_products();
?>
<!DOCTYPE html>
<html>
<head>
  <meta charset="utf-8">
  <title>Demo shop</title>
  <link rel="stylesheet" href="css/site.css">
</head>
<body>
  <h1>Demo shop</h1>
  <ul>
<?php foreach ($products as $product): ?>
    <li><a href="product.php?id=<?= (int)$product['id'] ?>"><?= html($product['name']) ?></a>
        <?= price($product['price']) ?></li>
<?php endforeach; ?>
  </ul>
</body>
</html>
