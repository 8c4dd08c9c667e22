<?php
// The catalogue, kept in code so the demo needs no database.

function catalogue_products()
{
    return [
        ['id' => 1, 'name' => 'Fountain pen', 'price' => 24.50],
        ['id' => 2, 'name' => 'Notebook, squared', 'price' => 6.90],
        ['id' => 3, 'name' => 'Ink, blue-black', 'price' => 8.00],
    ];
}

function catalogue_find($id)
{
    foreach (catalogue_products() as $product) {
        if ($product['id'] === $id) {
            return $product;
        }
    }
    return null;
}
