#pragma once

// Real-looking PHP for the editor benchmarks: a numbered class of about
// 1 KB (doc comment, methods, strings with variables, HTML between `?>`
// and `<?php`), repeated to any size.
#include <QByteArray>

inline QByteArray phpChunk(int index)
{
    const QByteArray n = QByteArray::number(index);
    return "<?php\n"
           "/**\n"
           " * Order repository " +
           n +
           ": loads and stores orders for the shop.\n"
           " */\n"
           "class OrderRepository" +
           n +
           " extends BaseRepository\n"
           "{\n"
           "    private $table = 'orders_" +
           n +
           "';\n"
           "\n"
           "    public function findByCustomer($customerId, $limit = 20)\n"
           "    {\n"
           "        $sql = \"SELECT * FROM {$this->table} WHERE customer_id = ? LIMIT ?\";\n"
           "        $rows = $this->db->query($sql, array((int)$customerId, (int)$limit));\n"
           "        foreach ($rows as $i => $row) {\n"
           "            // dates come back as strings\n"
           "            $rows[$i]['created'] = strtotime($row['created']);\n"
           "        }\n"
           "        return $rows;\n"
           "    }\n"
           "\n"
           "    public function save(array $order)\n"
           "    {\n"
           "        if (empty($order['id'])) {\n"
           "            return $this->db->insert($this->table, $order);\n"
           "        }\n"
           "        echo '<p class=\"saved\">Order ' . htmlspecialchars($order['id']) . '</p>';\n"
           "        return $this->db->update($this->table, $order, 'id = ' . (int)$order['id']);\n"
           "    }\n"
           "}\n"
           "?>\n"
           "<div id=\"orders-" +
           n + "\"><?php echo count($orders); ?> orders</div>\n";
}
